#include "ExcelComText.h"
#include "OleDiagnostics.h"
#include "ValueBlock.h"

#include <QTest>

#include <limits>

namespace {

VARIANT elementAt(ValueBlock& block, LONG row, LONG column) {
    LONG index[2] = {row, column};
    VARIANT element;
    VariantInit(&element);
    SafeArrayGetElement(block.variant()->parray, index, &element);
    return element;
}

QString textOf(const VARIANT& element) {
    return QString::fromUtf16(element.bstrVal, static_cast<qsizetype>(SysStringLen(element.bstrVal)));
}

} // namespace

class ValueBlockTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void isATwoDimensionalArrayRowsFirst();
    void placesEachTypeAtItsCell();
    void nonFiniteValuesBecomeText();
    void overwritingAnElementFreesItsText();
    void headingLinesRunDownOrAcross();
    void emptyBlocksHaveZeroBounds();
    void textsTravelThroughTheLocalCodePage();
    void freesEverythingItHolds();
};

void ValueBlockTest::isATwoDimensionalArrayRowsFirst() {
    ValueBlock block(3, 4);
    VARIANT* v = block.variant();
    QCOMPARE(v->vt, VARTYPE(VT_ARRAY | VT_VARIANT));
    QCOMPARE(SafeArrayGetDim(v->parray), 2u);
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(v->parray, 1, &lower);
    SafeArrayGetUBound(v->parray, 1, &upper);
    QCOMPARE(lower, 1);
    QCOMPARE(upper, 3);
    SafeArrayGetLBound(v->parray, 2, &lower);
    SafeArrayGetUBound(v->parray, 2, &upper);
    QCOMPARE(lower, 1);
    QCOMPARE(upper, 4);
    VARIANT untouched = elementAt(block, 3, 4);
    QCOMPARE(untouched.vt, VARTYPE(VT_EMPTY));
}

void ValueBlockTest::placesEachTypeAtItsCell() {
    ValueBlock block(2, 3);
    block.setText(1, 2, QStringLiteral("Run0"));
    block.setNumber(2, 1, 1.5);
    block.setDate(2, 3, 43831.25);
    block.setInteger(1, 3, -7);
    block.setValue(2, 2, 4.0);

    VARIANT text = elementAt(block, 1, 2);
    QCOMPARE(text.vt, VARTYPE(VT_BSTR));
    QCOMPARE(textOf(text), QStringLiteral("Run0"));
    VariantClear(&text);
    QCOMPARE(elementAt(block, 2, 1).vt, VARTYPE(VT_R8));
    QCOMPARE(elementAt(block, 2, 1).dblVal, 1.5);
    QCOMPARE(elementAt(block, 2, 3).vt, VARTYPE(VT_DATE));
    QCOMPARE(elementAt(block, 2, 3).date, 43831.25);
    QCOMPARE(elementAt(block, 1, 3).vt, VARTYPE(VT_I4));
    QCOMPARE(elementAt(block, 1, 3).lVal, -7);
    QCOMPARE(elementAt(block, 2, 2).vt, VARTYPE(VT_R8));
    QCOMPARE(elementAt(block, 1, 1).vt, VARTYPE(VT_EMPTY));
}

void ValueBlockTest::nonFiniteValuesBecomeText() {
    ValueBlock block(1, 3);
    block.setValue(1, 1, std::numeric_limits<double>::quiet_NaN());
    block.setValue(1, 2, std::numeric_limits<double>::infinity());
    block.setValue(1, 3, -std::numeric_limits<double>::infinity());
    for (LONG column = 1; column <= 3; ++column) {
        VARIANT element = elementAt(block, 1, column);
        QCOMPARE(element.vt, VARTYPE(VT_BSTR));
        QCOMPARE(textOf(element), QStringLiteral("NaN"));
        VariantClear(&element);
    }
}

void ValueBlockTest::overwritingAnElementFreesItsText() {
    // Run under the address sanitizer this also shows that the replaced text is freed.
    ValueBlock block(1, 1);
    block.setText(1, 1, QStringLiteral("first"));
    block.setText(1, 1, QStringLiteral("second"));
    block.setNumber(1, 1, 2.0);
    QCOMPARE(elementAt(block, 1, 1).vt, VARTYPE(VT_R8));
}

void ValueBlockTest::headingLinesRunDownOrAcross() {
    const auto down = ValueBlock::textColumn({QStringLiteral("Slot0"), QStringLiteral("Slot1")});
    QCOMPARE(down->rows(), 2);
    QCOMPARE(down->columns(), 1);
    VARIANT second = elementAt(*down, 2, 1);
    QCOMPARE(textOf(second), QStringLiteral("Slot1"));
    VariantClear(&second);

    const auto across = ValueBlock::numberRow({1.0, 2.0, 3.0});
    QCOMPARE(across->rows(), 1);
    QCOMPARE(across->columns(), 3);
    QCOMPARE(elementAt(*across, 1, 3).dblVal, 3.0);
}

void ValueBlockTest::emptyBlocksHaveZeroBounds() {
    ValueBlock block(0, 8);
    LONG upper = -1;
    SafeArrayGetUBound(block.variant()->parray, 1, &upper);
    QCOMPARE(upper, 0);
    SafeArrayGetUBound(block.variant()->parray, 2, &upper);
    QCOMPARE(upper, 8);
}

void ValueBlockTest::textsTravelThroughTheLocalCodePage() {
    const QString text = QString::fromUtf8("Größe \u6c34\U0001F30A");
    ValueBlock block(1, 2);
    block.setText(1, 1, text);
    block.setText(1, 2, QString());
    VARIANT converted = elementAt(block, 1, 1);
    QCOMPARE(textOf(converted), text);
    VariantClear(&converted);
    VARIANT empty = elementAt(block, 1, 2);
    QCOMPARE(empty.vt, VARTYPE(VT_BSTR));
    QVERIFY(empty.bstrVal != nullptr);
    QCOMPARE(SysStringLen(empty.bstrVal), 0u);
    VariantClear(&empty);
}

void ValueBlockTest::freesEverythingItHolds() {
#ifdef _WIN32
    QSKIP("The live counters belong to the portable automation library");
#else
    const long strings = OleLiveStringCount();
    const long arrays = OleLiveArrayCount();
    {
        ValueBlock block(2, 2);
        block.setText(1, 1, QStringLiteral("a"));
        block.setText(1, 1, QStringLiteral("b"));
        block.setValue(2, 2, std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(OleLiveStringCount(), strings + 2);
        QCOMPARE(OleLiveArrayCount(), arrays + 1);
    }
    QCOMPARE(OleLiveStringCount(), strings);
    QCOMPARE(OleLiveArrayCount(), arrays);
#endif
}

QTEST_GUILESS_MAIN(ValueBlockTest)
#include "tst_valueblock.moc"
