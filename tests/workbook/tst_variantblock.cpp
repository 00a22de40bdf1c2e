#include "OleDiagnostics.h"
#include "VariantBlock.h"

#include <QTest>

#include <limits>

namespace {

VARIANT elementAt(VariantBlock& block, LONG row, LONG column) {
    LONG index[2] = {row, column};
    VARIANT element;
    VariantInit(&element);
    SafeArrayGetElement(block.variant()->parray, index, &element);
    return element;
}

// The element's text; an element that holds no text reads as "type N".
QString textAt(VariantBlock& block, LONG row, LONG column) {
    VARIANT element = elementAt(block, row, column);
    const QString text = element.vt == VT_BSTR
                             ? QString::fromUtf16(element.bstrVal, SysStringLen(element.bstrVal))
                             : QStringLiteral("type %1").arg(element.vt);
    VariantClear(&element);
    return text;
}

QPair<LONG, LONG> bounds(VariantBlock& block, UINT dimension) {
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(block.variant()->parray, dimension, &lower);
    SafeArrayGetUBound(block.variant()->parray, dimension, &upper);
    return {lower, upper};
}

} // namespace

class VariantBlockTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void isATwoDimensionalArrayRowsFirst() {
        VariantBlock block(3, 4);
        QCOMPARE(block.variant()->vt, VARTYPE(VT_ARRAY | VT_VARIANT));
        QCOMPARE(SafeArrayGetDim(block.variant()->parray), 2u);
        QCOMPARE(bounds(block, 1), qMakePair(LONG(1), LONG(3)));
        QCOMPARE(bounds(block, 2), qMakePair(LONG(1), LONG(4)));
        QCOMPARE(elementAt(block, 3, 4).vt, VARTYPE(VT_EMPTY));
        // Every cell lands where its row and column say.
        for (int row = 1; row <= 3; ++row)
            for (int column = 1; column <= 4; ++column)
                block.setNumber(row, column, row * 10 + column);
        for (int row = 1; row <= 3; ++row)
            for (int column = 1; column <= 4; ++column)
                QCOMPARE(elementAt(block, row, column).dblVal, double(row * 10 + column));

        VariantBlock empty(0, 8);
        QCOMPARE(bounds(empty, 1), qMakePair(LONG(1), LONG(0)));
        QCOMPARE(bounds(empty, 2), qMakePair(LONG(1), LONG(8)));
    }

    void eachKindOfValueKeepsItsType() {
        const QString unicode = QString::fromUtf8("Größe \u6c34\U0001F30A");
        VariantBlock block(2, 4);
        block.setText(1, 1, QStringLiteral("first"));
        block.setText(1, 1, unicode); // the replaced text is freed (seen by the sanitizer)
        block.setText(1, 2, QString());
        block.setDate(1, 3, 43831.25);
        block.setInteger(1, 4, -7);
        block.setText(2, 1, QStringLiteral("replaced"));
        block.setValue(2, 1, 4.0);

        QCOMPARE(textAt(block, 1, 1), unicode);
        VARIANT empty = elementAt(block, 1, 2);
        QCOMPARE(empty.vt, VARTYPE(VT_BSTR));
        QVERIFY(empty.bstrVal != nullptr);
        QCOMPARE(SysStringLen(empty.bstrVal), 0u);
        VariantClear(&empty);
        QCOMPARE(elementAt(block, 1, 3).vt, VARTYPE(VT_DATE));
        QCOMPARE(elementAt(block, 1, 3).date, 43831.25);
        QCOMPARE(elementAt(block, 1, 4).vt, VARTYPE(VT_I4));
        QCOMPARE(elementAt(block, 1, 4).lVal, -7);
        QCOMPARE(elementAt(block, 2, 1).vt, VARTYPE(VT_R8));
        QCOMPARE(elementAt(block, 2, 1).dblVal, 4.0);
    }

    void freesEverythingItHolds() {
#ifdef _WIN32
        QSKIP("The live counters belong to the portable automation library");
#else
        const long strings = OleLiveStringCount();
        const long arrays = OleLiveArrayCount();
        {
            VariantBlock block(2, 2);
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
};

QTEST_GUILESS_MAIN(VariantBlockTest)
#include "tst_variantblock.moc"
