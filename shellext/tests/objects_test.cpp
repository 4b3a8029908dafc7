// The class factory and the context-menu object: interfaces, lifetimes, unloading.
#include "shellext_harness.h"

using namespace shelltest;

namespace
{
// {00000000-0000-0000-0000-00000000ABCD}: a class the library does not serve.
const CLSID CLSID_Other = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0xAB, 0xCD}};

class ObjectsTest : public ShellExtTest
{
protected:
    CShellLibrary m_library;
};
} // namespace

TEST_F(ObjectsTest, OnlyItsOwnClassIsServed)
{
    void* pv = (void*)1;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_library.GetClassObject(CLSID_Other, IID_IClassFactory, &pv));
    EXPECT_EQ(NULL, pv);
}

TEST_F(ObjectsTest, UnloadsOnlyWhenNoFactoryOrObjectLives)
{
    ASSERT_EQ(S_OK, m_library.CanUnloadNow());
    IClassFactory* pFactory = NULL;
    ASSERT_EQ(S_OK, m_library.GetClassObject(CLSID_VigilonShellExt, IID_IClassFactory, (void**)&pFactory));
    EXPECT_EQ(S_FALSE, m_library.CanUnloadNow());

    IContextMenu* pMenu = NULL;
    ASSERT_EQ(S_OK, pFactory->CreateInstance(NULL, IID_IContextMenu, (void**)&pMenu));
    EXPECT_EQ(S_OK, pFactory->LockServer(TRUE));
    pFactory->Release();
    EXPECT_EQ(S_FALSE, m_library.CanUnloadNow());

    // Both interfaces lead to the one object.
    IShellExtInit* pInit = NULL;
    ASSERT_EQ(S_OK, pMenu->QueryInterface(IID_IShellExtInit, (void**)&pInit));
    IContextMenu* pBack = NULL;
    ASSERT_EQ(S_OK, pInit->QueryInterface(IID_IContextMenu, (void**)&pBack));
    EXPECT_EQ(pMenu, pBack);
    pBack->Release();
    pInit->Release();
    pMenu->Release();
    EXPECT_EQ(S_OK, m_library.CanUnloadNow());
}

TEST_F(ObjectsTest, RefusedInterfacesLeaveNoObjectBehind)
{
    void* pv = (void*)1;
    EXPECT_EQ(E_NOINTERFACE, m_library.GetClassObject(CLSID_VigilonShellExt, IID_IDataObject, &pv));
    EXPECT_EQ(NULL, pv);
    EXPECT_EQ(S_OK, m_library.CanUnloadNow());

    IClassFactory* pFactory = NULL;
    ASSERT_EQ(S_OK, m_library.GetClassObject(CLSID_VigilonShellExt, IID_IUnknown, (void**)&pFactory));
    pv = (void*)1;
    EXPECT_EQ(E_NOINTERFACE, pFactory->CreateInstance(NULL, IID_IDataObject, &pv));
    EXPECT_EQ(NULL, pv);
    IUnknown* pOuter = pFactory;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, pFactory->CreateInstance(pOuter, IID_IUnknown, &pv));
    pFactory->Release();
    EXPECT_EQ(S_OK, m_library.CanUnloadNow());
}

TEST_F(ObjectsTest, KeepsOneDataObjectAndReleasesItAtTheEnd)
{
    CCountingDataObject first({"C:\\a"}), second({"C:\\b"});
    IContextMenu* pMenu = m_library.CreateMenu();
    ASSERT_TRUE(pMenu != NULL);

    ASSERT_EQ(S_OK, InitializeMenu(pMenu, &first));
    EXPECT_EQ(2, first.References());
    ASSERT_EQ(S_OK, InitializeMenu(pMenu, &second));
    EXPECT_EQ(1, first.References());
    EXPECT_EQ(2, second.References());
    ASSERT_EQ(S_OK, InitializeMenu(pMenu, NULL));
    EXPECT_EQ(1, second.References());

    ASSERT_EQ(S_OK, InitializeMenu(pMenu, &first));
    pMenu->Release();
    EXPECT_EQ(1, first.References());
}

TEST_F(ObjectsTest, MakingAnObjectCreatesAMissingProductKeyEmpty)
{
    IContextMenu* pMenu = m_library.CreateMenu();
    ASSERT_TRUE(pMenu != NULL);
    pMenu->Release();

    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, CLIENT_PRODUCT_KEY, 0, KEY_READ, &hKey));
    DWORD nValues = 99, nSubKeys = 99;
    RegQueryInfoKeyA(hKey, NULL, NULL, NULL, &nSubKeys, NULL, NULL, &nValues, NULL, NULL, NULL, NULL);
    RegCloseKey(hKey);
    EXPECT_EQ(0u, nValues);
    EXPECT_EQ(0u, nSubKeys);
}
