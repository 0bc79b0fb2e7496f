// Registration of the movie control with regsvr32: the class, its program identifier and type
// library under HKEY_CLASSES_ROOT, creation by class identifier and through OleCreate, the
// version containers read from the registered file, and clean unregistration. These tests change
// the prefix's registry, so they hold the display lock the control's window tests hold too.
#include <gtest/gtest.h>

#include "control_test_support.h"

using namespace quill::movie::test;

namespace {

CLSID controlClass() {
    CLSID c;
    CLSIDFromString(L"{D27CDB6E-AE6D-11CF-96B8-444553540000}", &c);
    return c;
}

std::wstring registeredServer() {
    wchar_t value[MAX_PATH * 2] = {};
    LONG size = sizeof value;
    if (RegQueryValueW(HKEY_CLASSES_ROOT,
                       L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\InprocServer32", value,
                       &size) != ERROR_SUCCESS) {
        return L"";
    }
    return value;
}

}  // namespace

TEST(ControlRegistrationTest, Regsvr32RegistersTheClassAndUnregistersIt) {
    ComApartment apartment;
    ASSERT_EQ(runRegsvr32(false), 0u);
    CLSID fromProgId;
    ASSERT_EQ(CLSIDFromProgID(L"Quill.Movie", &fromProgId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(fromProgId, controlClass()));
    ASSERT_EQ(CLSIDFromProgID(L"Quill.Movie.1", &fromProgId), S_OK);
    {
        Com<IDispatch> control;
        ASSERT_EQ(CoCreateInstance(controlClass(), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(control.out())),
                  S_OK);
        EXPECT_EQ(callNumber(control.p, L"ReadyState"), 1);
        Com<ITypeLib> lib;
        Com<ITypeInfo> info;
        ASSERT_EQ(control->GetTypeInfo(0, 0, info.out()), S_OK);
        UINT index;
        ASSERT_EQ(info->GetContainingTypeLib(lib.out(), &index), S_OK);
        TLIBATTR* attributes = nullptr;
        ASSERT_EQ(lib->GetLibAttr(&attributes), S_OK);
        Com<ITypeLib> registered;
        EXPECT_EQ(LoadRegTypeLib(attributes->guid, 1, 0, 0, registered.out()), S_OK);
        lib->ReleaseTLibAttr(attributes);
    }
    // The version a container checks: from the file the registry names, at least 6.0.79.0.
    std::wstring server = registeredServer();
    ASSERT_FALSE(server.empty());
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(server.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(server.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    bool newEnough = fixed->dwFileVersionMS > 0x00060000 ||
                     (fixed->dwFileVersionMS == 0x00060000 && fixed->dwFileVersionLS >= 0x004F0000);
    EXPECT_TRUE(newEnough) << std::hex << fixed->dwFileVersionMS << " " << fixed->dwFileVersionLS;

    // OleCreate needs the storage interface.
    {
        Com<IStorage> storage;
        ASSERT_EQ(
            StgCreateDocfile(
                nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE,
                0, storage.out()),
            S_OK);
        Com<IOleObject> object;
        ASSERT_EQ(OleCreate(controlClass(), IID_IOleObject, OLERENDER_NONE, nullptr, nullptr,
                            storage.p, reinterpret_cast<void**>(object.out())),
                  S_OK);
        Com<IPersistStorage> persist;
        ASSERT_EQ(object.as(&persist, IID_IPersistStorage), S_OK);
        EXPECT_EQ(persist->Save(storage.p, TRUE), S_OK);
        EXPECT_EQ(persist->SaveCompleted(nullptr), S_OK);
        object->Close(OLECLOSE_NOSAVE);
    }

    ASSERT_EQ(runRegsvr32(true), 0u);
    Com<IDispatch> none;
    EXPECT_EQ(CoCreateInstance(controlClass(), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(none.out())),
              REGDB_E_CLASSNOTREG);
    EXPECT_NE(CLSIDFromProgID(L"Quill.Movie", &fromProgId), S_OK);
    // Registered again for the tests that create the control by its class.
    EXPECT_EQ(runRegsvr32(false), 0u);
}
