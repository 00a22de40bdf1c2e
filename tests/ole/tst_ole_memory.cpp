// Strings, variants and safe arrays of the OLE surface: layout, ownership and clean-up.

#include "CountedObject.h"
#include "OleAutomation.h"
#include "OleDiagnostics.h"

#include <QtTest>

#include <cstring>

namespace {
SAFEARRAY* variantMatrix(LONG rows, LONG columns) {
    SAFEARRAYBOUND bounds[2] = {{ULONG(rows), 1}, {ULONG(columns), 1}};
    return SafeArrayCreate(VT_VARIANT, 2, bounds);
}

// Variants holding a string (which VariantClear frees), an object or an array of variants.
VARIANT stringVariant(const OLECHAR* text) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}
VARIANT objectVariant(IDispatch* object) {
    VARIANT v;
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    return v;
}
VARIANT arrayVariant(SAFEARRAY* array) {
    VARIANT v;
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = array;
    return v;
}

// Lower and upper bound of a dimension; {-99, -99} when they cannot be read.
QPair<LONG, LONG> boundsOf(SAFEARRAY* psa, UINT dimension) {
    LONG lower = 0, upper = 0;
    if (FAILED(SafeArrayGetLBound(psa, dimension, &lower)) ||
        FAILED(SafeArrayGetUBound(psa, dimension, &upper)))
        return {-99, -99};
    return {lower, upper};
}
} // namespace

class OleMemoryTest : public QObject {
    Q_OBJECT
    long stringsBefore = 0;
    long arraysBefore = 0;

private slots:
    void init() {
        stringsBefore = OleLiveStringCount();
        arraysBefore = OleLiveArrayCount();
    }
    // Every case must give back all it allocated.
    void cleanup() {
        QCOMPARE(OleLiveStringCount(), stringsBefore);
        QCOMPARE(OleLiveArrayCount(), arraysBefore);
    }

    void bstrCarriesByteLengthPrefixAndTerminator() {
        const OLECHAR text[] = OLESTR("ab\0cd");
        BSTR s = SysAllocStringLen(text, 5);
        QVERIFY(s);
        QCOMPARE(OleLiveStringCount(), stringsBefore + 1);
        uint32_t prefix = 0;
        std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
        QCOMPARE(prefix, 10u);
        QCOMPARE(SysStringLen(s), 5u);
        QCOMPARE(s[2], OLECHAR(0));
        QCOMPARE(s[4], OLECHAR(u'd'));
        QCOMPARE(s[5], OLECHAR(0));
        SysFreeString(s);
    }

    void bstrEdgeCases() {
        QCOMPARE(SysAllocString(nullptr), BSTR(nullptr));
        QCOMPARE(SysStringLen(nullptr), 0u);
        SysFreeString(nullptr);
        // Empty, a zeroed string of the asked length when there is no source, and a whole one.
        BSTR empty = SysAllocString(OLESTR(""));
        BSTR blank = SysAllocStringLen(nullptr, 3);
        BSTR whole = SysAllocString(OLESTR("Header"));
        QVERIFY(empty);
        QCOMPARE((QList<UINT>{SysStringLen(empty), SysStringLen(blank), SysStringLen(whole)}),
                 (QList<UINT>{0, 3, 6}));
        QCOMPARE((QList<OLECHAR>{empty[0], blank[0], blank[3]}), (QList<OLECHAR>{0, 0, 0}));
        for (BSTR s : {empty, blank, whole})
            SysFreeString(s);
    }

    void variantClearAllowsANullObjectOrString() {
        VARIANT v = objectVariant(nullptr);
        QCOMPARE(VariantClear(&v), S_OK);
        v = stringVariant(nullptr);
        QCOMPARE(VariantClear(&v), S_OK);
    }

    void variantClearLeavesByReferenceValuesAlone() {
        VARIANT target = stringVariant(OLESTR("kept"));
        VARIANT reference;
        reference.vt = VT_BYREF | VT_VARIANT;
        reference.pvarVal = &target;
        QCOMPARE(VariantClear(&reference), S_OK);
        QCOMPARE(reference.vt, VARTYPE(VT_EMPTY));
        QCOMPARE(SysStringLen(target.bstrVal), 4u);
        VariantClear(&target);
    }

    void variantClearRefusesUnknownType() {
        VARIANT v;
        VariantInit(&v);
        v.vt = 0x77;
        QCOMPARE(VariantClear(&v), DISP_E_BADVARTYPE);
        QCOMPARE(v.vt, VARTYPE(0x77));
    }

    void variantCopyIsDeep() {
        CountedObject object;
        VARIANT source = stringVariant(OLESTR("same"));
        VARIANT copy;
        VariantInit(&copy);
        QCOMPARE(VariantCopy(&copy, &source), S_OK);
        QVERIFY(copy.bstrVal != source.bstrVal);
        QCOMPARE(std::u16string(copy.bstrVal), std::u16string(u"same"));
        QCOMPARE(OleLiveStringCount(), stringsBefore + 2);

        // Copying over a string frees it and takes a reference on the object.
        VARIANT objectValue = objectVariant(&object);
        QCOMPARE(VariantCopy(&copy, &objectValue), S_OK);
        QCOMPARE(OleLiveStringCount(), stringsBefore + 1);
        QCOMPARE(object.references, 2u);
        VariantClear(&copy);
        QCOMPARE(object.references, 1u);
        VariantClear(&source);
    }

    void safeArrayStoresBoundsLastDimensionFirst() {
        SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, 0}}; // 3 rows from 1, 4 columns from 0
        SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
        QVERIFY(psa);
        QCOMPARE(OleLiveArrayCount(), arraysBefore + 1);
        QCOMPARE(psa->cDims, USHORT(2));
        QCOMPARE(psa->cbElements, ULONG(sizeof(VARIANT)));
        QVERIFY(psa->fFeatures & FADF_VARIANT);
        QCOMPARE(psa->rgsabound[0].cElements, 4u);
        QCOMPARE(psa->rgsabound[0].lLbound, 0);
        QCOMPARE(psa->rgsabound[1].cElements, 3u);
        QCOMPARE(psa->rgsabound[1].lLbound, 1);

        QCOMPARE(boundsOf(psa, 1), qMakePair(LONG(1), LONG(3)));
        QCOMPARE(boundsOf(psa, 2), qMakePair(LONG(0), LONG(3)));
        LONG bound = 0;
        QCOMPARE(SafeArrayGetUBound(psa, 0, &bound), DISP_E_BADINDEX);
        QCOMPARE(SafeArrayGetUBound(psa, 3, &bound), DISP_E_BADINDEX);
        QCOMPARE(SafeArrayGetDim(psa), 2u);
        VARTYPE vt = 0;
        QCOMPARE(SafeArrayGetVartype(psa, &vt), S_OK);
        QCOMPARE(vt, VARTYPE(VT_VARIANT));
        QCOMPARE(SafeArrayDestroy(psa), S_OK);
    }

    void safeArrayIndicesComeRowFirstAndRowVariesFastest() {
        SAFEARRAY* psa = variantMatrix(2, 3);
        for (LONG r = 1; r <= 2; ++r) {
            for (LONG c = 1; c <= 3; ++c) {
                VARIANT v;
                v.vt = VT_I4;
                v.lVal = r * 10 + c;
                LONG index[2] = {r, c};
                QCOMPARE(SafeArrayPutElement(psa, index, &v), S_OK);
            }
        }
        const VARIANT* data = static_cast<const VARIANT*>(psa->pvData);
        QCOMPARE((QList<LONG>{data[0].lVal, data[1].lVal, data[2].lVal, data[5].lVal}),
                 (QList<LONG>{11, 21, 12, 23}));

        LONG index[2] = {2, 3};
        VARIANT out;
        VariantInit(&out);
        QCOMPARE(SafeArrayGetElement(psa, index, &out), S_OK);
        QCOMPARE(out.lVal, 23);
        void* slot = nullptr;
        QCOMPARE(SafeArrayPtrOfIndex(psa, index, &slot), S_OK);
        QCOMPARE(static_cast<VARIANT*>(slot)->lVal, 23);

        LONG outside[2] = {3, 1};
        QCOMPARE(SafeArrayPutElement(psa, outside, &out), DISP_E_BADINDEX);
        LONG belowLower[2] = {1, 0};
        QCOMPARE(SafeArrayGetElement(psa, belowLower, &out), DISP_E_BADINDEX);
        SafeArrayDestroy(psa);
    }

    void safeArrayPutCopiesAndDestroyClearsElements() {
        CountedObject object;
        SAFEARRAY* psa = variantMatrix(1, 2);
        VARIANT text = stringVariant(OLESTR("cell"));
        LONG first[2] = {1, 1};
        QCOMPARE(SafeArrayPutElement(psa, first, &text), S_OK);
        QCOMPARE(OleLiveStringCount(), stringsBefore + 2); // the array holds its own copy
        VariantClear(&text);

        VARIANT objectValue = objectVariant(&object);
        LONG second[2] = {1, 2};
        QCOMPARE(SafeArrayPutElement(psa, second, &objectValue), S_OK);
        QCOMPARE(object.references, 2u);

        // Replacing an element frees what it held.
        VARIANT number;
        number.vt = VT_R8;
        number.dblVal = 2.5;
        QCOMPARE(SafeArrayPutElement(psa, first, &number), S_OK);
        QCOMPARE(OleLiveStringCount(), stringsBefore);

        VARIANT holder = arrayVariant(psa);
        QCOMPARE(VariantClear(&holder), S_OK);
        QCOMPARE(object.references, 1u);
    }

    void safeArrayOfStringsTakesTheStringItself() {
        SAFEARRAYBOUND bound{2, 0};
        SAFEARRAY* psa = SafeArrayCreate(VT_BSTR, 1, &bound);
        QVERIFY(psa->fFeatures & FADF_BSTR);
        BSTR s = SysAllocString(OLESTR("x"));
        LONG index = 1;
        QCOMPARE(SafeArrayPutElement(psa, &index, s), S_OK);
        SysFreeString(s);
        BSTR out = nullptr;
        QCOMPARE(SafeArrayGetElement(psa, &index, &out), S_OK);
        QCOMPARE(std::u16string(out), std::u16string(u"x"));
        SysFreeString(out);

        SAFEARRAY* copy = nullptr;
        QCOMPARE(SafeArrayCopy(psa, &copy), S_OK);
        QCOMPARE(OleLiveArrayCount(), arraysBefore + 2);
        QCOMPARE(OleLiveStringCount(), stringsBefore + 2);
        SafeArrayDestroy(copy);
        SafeArrayDestroy(psa);
    }

    void safeArrayRefusesBadRequests() {
        SAFEARRAYBOUND bound{1, 0};
        QCOMPARE(SafeArrayCreate(VT_VARIANT, 0, &bound), static_cast<SAFEARRAY*>(nullptr));
        QCOMPARE(SafeArrayCreate(VT_NULL, 1, &bound), static_cast<SAFEARRAY*>(nullptr));
        QCOMPARE(SafeArrayDestroy(nullptr), S_OK);
        SAFEARRAY* psa = SafeArrayCreate(VT_I4, 1, &bound);
        psa->cLocks = 1;
        QCOMPARE(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
        psa->cLocks = 0;
        QCOMPARE(SafeArrayDestroy(psa), S_OK);
    }

    void arrayVariantCopiesDeeply() {
        SAFEARRAY* psa = variantMatrix(1, 1);
        VARIANT text = stringVariant(OLESTR("deep"));
        LONG index[2] = {1, 1};
        SafeArrayPutElement(psa, index, &text);
        VariantClear(&text);
        VARIANT source = arrayVariant(psa);
        VARIANT copy;
        VariantInit(&copy);
        QCOMPARE(VariantCopy(&copy, &source), S_OK);
        QVERIFY(copy.parray != psa);
        QCOMPARE(OleLiveArrayCount(), arraysBefore + 2);
        QCOMPARE(OleLiveStringCount(), stringsBefore + 2);
        VariantClear(&copy);
        VariantClear(&source);
    }
};

QTEST_APPLESS_MAIN(OleMemoryTest)
#include "tst_ole_memory.moc"
