// COM start-up, the class registry and text conversion of the OLE surface.

#include "ClassRegistry.h"
#include "CountedObject.h"
#include "OleAutomation.h"
#include "OleDiagnostics.h"

#include <QtTest>

#include <cstring>
#include <string>

namespace {
const CLSID testClsid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
int created = 0;
IID lastRequested = GUID_NULL;

HRESULT createCounted(REFIID riid, void** ppv) {
    ++created;
    lastRequested = riid;
    CountedObject* object = new CountedObject;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    if (object->destroyed)
        delete object;
    return hr;
}
} // namespace

class OleRuntimeTest : public QObject {
    Q_OBJECT

private slots:
    void init() { created = 0; }
    void cleanup() {
        OleUnregisterClass(OLESTR("Test.Counted"));
        QCOMPARE(OleComInitializeDepth(), 0);
    }

    void coInitializeNestsAndBalances() {
        const long initsBefore = OleCoInitializeCallCount();
        const long uninitsBefore = OleCoUninitializeCallCount();
        QCOMPARE(CoInitialize(nullptr), S_OK);
        QCOMPARE(CoInitialize(nullptr), S_FALSE);
        QCOMPARE(OleComInitializeDepth(), 2);
        CoUninitialize();
        CoUninitialize();
        QCOMPARE(OleComInitializeDepth(), 0);
        // An unbalanced call does not drive the depth below zero.
        CoUninitialize();
        QCOMPARE(OleComInitializeDepth(), 0);
        QCOMPARE(OleCoInitializeCallCount() - initsBefore, 2);
        QCOMPARE(OleCoUninitializeCallCount() - uninitsBefore, 3);
    }

    void progIdLooksUpWithoutRegardToCase() {
        QCOMPARE(OleRegisterClass(OLESTR("Test.Counted"), testClsid, createCounted), S_OK);
        CLSID clsid = GUID_NULL;
        QCOMPARE(CLSIDFromProgID(OLESTR("test.COUNTED"), &clsid), S_OK);
        QVERIFY(clsid == testClsid);
        QCOMPARE(CLSIDFromProgID(OLESTR("Test.Other"), &clsid), CO_E_CLASSSTRING);
        QVERIFY(clsid == GUID_NULL);
        QCOMPARE(OleUnregisterClass(OLESTR("TEST.counted")), S_OK);
        QCOMPARE(OleUnregisterClass(OLESTR("Test.Counted")), S_FALSE);
        QCOMPARE(CLSIDFromProgID(OLESTR("Test.Counted"), &clsid), CO_E_CLASSSTRING);
    }

    void localServerIsCreatedInProcess() {
        OleRegisterClass(OLESTR("Test.Counted"), testClsid, createCounted);
        CoInitialize(nullptr);
        IDispatch* dispatch = nullptr;
        QCOMPARE(CoCreateInstance(testClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&dispatch)),
                 S_OK);
        QVERIFY(dispatch);
        QCOMPARE(created, 1);
        QVERIFY(lastRequested == IID_IDispatch);
        auto* object = static_cast<CountedObject*>(dispatch);
        QCOMPARE(object->references, 1u);
        dispatch->Release();
        QVERIFY(object->destroyed);
        delete object;
        CoUninitialize();
    }

    void createInstanceFailures() {
        OleRegisterClass(OLESTR("Test.Counted"), testClsid, createCounted);
        void* out = reinterpret_cast<void*>(1);
        QCOMPARE(CoCreateInstance(testClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, &out),
                 CO_E_NOTINITIALIZED);
        QCOMPARE(out, nullptr);
        CoInitialize(nullptr);
        const CLSID unknown = {1, 2, 3, {0}};
        QCOMPARE(CoCreateInstance(unknown, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, &out),
                 REGDB_E_CLASSNOTREG);
        CountedObject outer;
        QCOMPARE(CoCreateInstance(testClsid, &outer, CLSCTX_LOCAL_SERVER, IID_IDispatch, &out),
                 CLASS_E_NOAGGREGATION);
        QCOMPARE(CoCreateInstance(testClsid, nullptr, CLSCTX_INPROC_HANDLER, IID_IDispatch, &out),
                 REGDB_E_CLASSNOTREG);
        QCOMPARE(CoCreateInstance(testClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, nullptr),
                 E_POINTER);
        QCOMPARE(created, 0);
        CoUninitialize();
    }

    void guidsCompareByValue() {
        GUID copy = IID_IDispatch;
        QVERIFY(IsEqualGUID(copy, IID_IDispatch));
        QVERIFY(copy != IID_IUnknown);
        QVERIFY(IID_NULL == GUID_NULL);
        copy.Data4[7] = 0;
        QVERIFY(copy != IID_IDispatch);
    }

    void multiByteToWideCharConvertsUtf8() {
        const char* text = "Stra\xC3\x9F"
                           "e \xF0\x9F\x98\x80";
        const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
        QCOMPARE(needed, 10); // 6 + blank + surrogate pair + terminator
        WCHAR buffer[16];
        QCOMPARE(MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, 16), 10);
        QCOMPARE(std::u16string(buffer), std::u16string(u"Stra\u00DFe \U0001F600"));
        // An explicit length converts no terminator.
        QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, "abc", 2, buffer, 16), 2);
        // A buffer too small converts nothing.
        QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer, 4), 0);
        QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, text, 0, buffer, 16), 0);
        QCOMPARE(MultiByteToWideChar(1252, 0, "abc", -1, buffer, 16), 0);
    }

    void invalidUtf8BecomesReplacementCharacters() {
        WCHAR buffer[16];
        const char bad[] = "a\xFF\xC3(\xE0\x80\x80z";
        const int n = MultiByteToWideChar(CP_ACP, 0, bad, int(std::strlen(bad)), buffer, 16);
        QCOMPARE(std::u16string(buffer, size_t(n)), std::u16string(u"a\uFFFD\uFFFD(\uFFFD\uFFFD\uFFFDz"));
    }

    void wideCharToMultiByteConvertsToUtf8() {
        const WCHAR text[] = u"16.0 \u00E9\U0001F600";
        char buffer[256];
        const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, 256, nullptr, nullptr);
        QCOMPARE(n, int(std::strlen("16.0 \xC3\xA9\xF0\x9F\x98\x80")) + 1);
        QCOMPARE(QByteArray(buffer), QByteArray("16.0 \xC3\xA9\xF0\x9F\x98\x80"));
        QCOMPARE(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr), n);
        QCOMPARE(WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, 3, nullptr, nullptr), 0);
        // A lone surrogate has no UTF-8 form.
        const WCHAR lone[] = {u'a', 0xD800, u'b'};
        QCOMPARE(WideCharToMultiByte(CP_UTF8, 0, lone, 3, buffer, 256, nullptr, nullptr), 5);
        QCOMPARE(QByteArray(buffer, 5), QByteArray("a\xEF\xBF\xBD"
                                                   "b"));
    }
};

QTEST_APPLESS_MAIN(OleRuntimeTest)
#include "tst_ole_runtime.moc"
