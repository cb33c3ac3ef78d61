#include "shelftest/module.h"

#include "shelftest/library.h"
#include "shelftest/wait.h"

#include <uiassist/cwin32window.h>

#include <atomic>
#include <regex>
#include <utility>

namespace shelftest {
namespace {

constexpr wchar_t kModuleFile[] = L"\\desktopui.dll";
constexpr wchar_t kKernelFile[] = L"\\VexilKernel.dll";
constexpr wchar_t kSkinFolder[] = L"\\DesktopSkin";
constexpr wchar_t kSkinFile[] = L"\\KelvoDesktopUi.ufd";

// The package with the first match of pattern replaced; "" when nothing matches.
std::string Replaced(const std::string& package, const std::string& pattern, const std::string& replacement) {
    const std::regex declaration(pattern);
    return std::regex_search(package, declaration)
               ? std::regex_replace(package, declaration, replacement,
                                    std::regex_constants::format_first_only)
               : std::string();
}

} // namespace

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::string ReadRealSkinPackage() { return ReadBytes(ExeFolder() + kSkinFolder + kSkinFile); }

// Each pattern starts at the start of a line, whose line end $1 keeps.
std::string SkinWithoutControl(const std::string& package, const std::string& control) {
    return Replaced(package, "(^|\n)[ \t]*control[ \t]+" + control + "[ \t][^\n]*", "$1");
}

std::string SkinWithControlClass(const std::string& package, const std::string& control,
                                 const std::string& newClass) {
    return Replaced(package, "((^|\n)[ \t]*control[ \t]+" + control + "[ \t][^\n]*class=)[^ \t\r\n]*",
                    "$1" + newClass);
}

std::string SkinWithWindowRenamed(const std::string& package, const std::string& window,
                                  const std::string& newName) {
    return Replaced(package, "((^|\n)[ \t]*window[ \t]+)" + window + "(?=[ \t\r\n])", "$1" + newName);
}

ModuleUnderTest::ModuleUnderTest(const std::wstring& folder) {
    for (auto [module, file] : {std::pair{&m_kernel, kKernelFile}, std::pair{&m_module, kModuleFile}}) {
        const std::wstring path = folder + file;
        module->reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        if (module->get() == nullptr) {
            m_error = "cannot load " + AnsiPath(path) + " (error " + std::to_string(GetLastError()) + ")";
            return;
        }
    }
    m_inspector = reinterpret_cast<PFN_GetRefKernelInspector>(
        reinterpret_cast<void*>(GetProcAddress(m_kernel.get(), VEXIL_REF_INSPECTOR_ENTRY)));
    m_entry = reinterpret_cast<PFN_GetBookrackWindow>(
        reinterpret_cast<void*>(GetProcAddress(m_module.get(), BOOKRACK_ENTRY)));
    if (m_entry == nullptr)
        m_error = std::string("no export ") + BOOKRACK_ENTRY;
}

ISkinWindow* ModuleUnderTest::SkinWindowOf(HWND hwnd) const {
    IRefInspector* inspector = Inspector();
    return inspector && hwnd ? inspector->FindSkinWindow(hwnd) : nullptr;
}

ISkinWindow* ModuleUnderTest::SkinWindow() const {
    CBookrackWindow* window = Window();
    return window ? SkinWindowOf(window->GetHwnd()) : nullptr;
}

IControlBase* ModuleUnderTest::RawControl(const char* name) const {
    ISkinWindow* skin = SkinWindow();
    return skin ? skin->GetControl(name) : nullptr;
}

HWND ModuleUnderTest::FindWindowNamed(const wchar_t* skinWindowName) const {
    for (HWND hwnd : WindowsOfClass(VEXIL_WINDOW_CLASS)) {
        auto* skin = dynamic_cast<IRefSkinWindowInspect*>(SkinWindowOf(hwnd));
        if (skin && skin->WindowName() == skinWindowName)
            return hwnd;
    }
    return nullptr;
}

LRESULT ModuleUnderTest::Notify(int id, WPARAM wParam, LPARAM lParam) const {
    auto* skin = dynamic_cast<IRefSkinWindowInspect*>(SkinWindow());
    IControlMessage* callback = skin ? skin->Callback() : nullptr;
    LRESULT result = 0x7FFF;
    if (callback == nullptr || !RunOnWindowThread(Window()->GetHwnd(), [&] {
            result = callback->OnCtrlMessage(nullptr, id, wParam, lParam);
        }))
        ADD_FAILURE() << "notification " << id << " could not be delivered";
    return result;
}

void ModuleUnderTest::Unload(bool close) {
    CBookrackWindow* window = Window();
    if (window != nullptr && close)
        window->Close();
    m_entry = nullptr;
    m_inspector = nullptr;
    m_module.reset();
    m_kernel.reset();
}

void ModuleUnderTest::ReleaseKernelReference() {
    m_inspector = nullptr;
    m_kernel.reset();
}

ModuleWithSkin::ModuleWithSkin(const std::string& skinPackage) {
    static std::atomic<int> counter{0};
    m_folder = TempPath(L"kelvo_skin_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::to_wstring(++counter) + L"_" + std::to_wstring(GetTickCount()));
    const std::wstring bin = ExeFolder();
    const std::wstring skin = m_folder + kSkinFolder;
    if (!CreateDirectoryW(m_folder.c_str(), nullptr) ||
        !CopyFileW((bin + kModuleFile).c_str(), (m_folder + kModuleFile).c_str(), FALSE) ||
        !CopyFileW((bin + kKernelFile).c_str(), (m_folder + kKernelFile).c_str(), FALSE) ||
        !CreateDirectoryW(skin.c_str(), nullptr))
        return;
    // Whatever else the real package folder holds (images; a folder fails to copy), then the
    // test's own package.
    for (const WIN32_FIND_DATAW& data : FindFiles(bin + kSkinFolder + L"\\*"))
        CopyFileW((bin + kSkinFolder + L"\\" + data.cFileName).c_str(),
                  (skin + L"\\" + data.cFileName).c_str(), FALSE);
    if (WriteBytes(skin + kSkinFile, skinPackage))
        m_module = std::make_unique<ModuleUnderTest>(m_folder);
}

ModuleWithSkin::~ModuleWithSkin() {
    m_module.reset();
    RemoveFolderTree(m_folder);
}

} // namespace shelftest
