#include "flowtest.h"

#include <uiassist/cwin32window.h>

#include <cctype>
#include <sstream>

namespace flows {

using namespace shelftest;

std::string SkinWithout(const std::string& text) {
    std::istringstream in(ReadRealSkinPackage());
    std::string out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(text) == std::string::npos)
            out += line + "\n";
    }
    return out;
}

std::vector<int> NumbersIn(const std::string& text) {
    std::vector<int> numbers;
    size_t i = 0;
    while (i < text.size()) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        int value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            value = value * 10 + (text[i++] - '0');
        numbers.push_back(value);
    }
    return numbers;
}

namespace {
constexpr wchar_t kShowModeFile[] = L"Folian.ini";
}

ShowModeFileGuard::ShowModeFileGuard() {
    m_existed = LibraryFolder::Exists(kShowModeFile);
    m_content = LibraryFolder::ReadFile(kShowModeFile);
}

ShowModeFileGuard::~ShowModeFileGuard() {
    if (!m_lock.Held())
        return;
    if (m_existed)
        LibraryFolder::WriteFile(kShowModeFile, m_content);
    else
        LibraryFolder::RemoveFile(kShowModeFile);
}

IRefBookMatrixInspect* ShelfDriver::Matrix() const {
    return m_module->Control<IRefBookMatrixInspect>("BMCC_BookMatrix");
}

IRefManagerInspect* ShelfDriver::Manager() const {
    return m_module->Control<IRefManagerInspect>("BookrackMgr");
}

IRefBrowserInspect* ShelfDriver::Browser() const {
    return m_module->Control<IRefBrowserInspect>("BMCC_BookrackIeBrowser");
}

void ShelfDriver::OnWindowThread(const std::function<void()>& fn) const {
    ASSERT_TRUE(RunOnWindowThread(Hwnd(), fn));
}

LRESULT ShelfDriver::Notify(int id, WPARAM wParam, LPARAM lParam) const {
    auto* skin = dynamic_cast<IRefSkinWindowInspect*>(m_module->SkinWindow());
    IControlMessage* callback = skin ? skin->Callback() : nullptr;
    EXPECT_NE(callback, nullptr);
    LRESULT result = 0x7FFF;
    if (callback) {
        EXPECT_TRUE(RunOnWindowThread(
            Hwnd(), [&] { result = callback->OnCtrlMessage(nullptr, id, wParam, lParam); }));
    }
    return result;
}

void ShelfDriver::Flush() const {
    // The reference matrix answers an unknown notice with nothing but its call count.
    IRefBookMatrixInspect* matrix = Matrix();
    ASSERT_NE(matrix, nullptr);
    const int before = matrix->HandleNotifyCalls();
    Window()->PostMatrixNotify(0, 0);
    ASSERT_TRUE(WaitUntil([&] { return matrix->HandleNotifyCalls() > before; }));
}

HWND ShelfDriver::FindModuleWindow(const wchar_t* skinWindowName) const {
    for (HWND hwnd : WindowsOfClass(VEXIL_WINDOW_CLASS)) {
        auto* skin = dynamic_cast<IRefSkinWindowInspect*>(m_module->SkinWindowOf(hwnd));
        if (skin && skin->WindowName() == skinWindowName)
            return hwnd;
    }
    return nullptr;
}

bool ShelfDriver::WaitForBatchEnd(int endNoticesBefore) const {
    IRefBookMatrixInspect* matrix = Matrix();
    return matrix && WaitUntil([&] {
               return matrix->BatchDeleteEndNotices() > endNoticesBefore &&
                      Window()->IsBatchDeleteBusy() == 0;
           });
}

void ShowShelf(ModuleUnderTest& module, MockShelfSink& sink, FakeShelfStore& store, int shelfKey,
               bool waitForBooks) {
    ASSERT_TRUE(module.Ok()) << module.Error();
    ASSERT_NE(module.Inspector(), nullptr);
    module.Inspector()->SetPopupMenuAnswer(REF_MENU_NONE);
    store.SetShelfWithItems(shelfKey, kShelf);
    CBookrackWindow* window = module.Window();
    window->SetNotifySink(&sink, module.Module());
    window->SetHost(&store, shelfKey);
    ASSERT_TRUE(window->Show(true, nullptr));
    ShelfDriver driver(&module);
    ASSERT_TRUE(WaitUntil([&] {
        IRefBookMatrixInspect* matrix = driver.Matrix();
        if (!IsWindowVisible(window->GetHwnd()))
            return false;
        return !waitForBooks || (matrix && matrix->Ids() == kShelf);
    })) << "the shelf did not load";
}

void FlowTest::SetUp() {
    ModuleTest::SetUp();
    if (HasFatalFailure())
        return;
    Drive(module.get());
    ShowShelf(*module, sink, store, kShelfKey);
}

} // namespace flows
