#include "shelftest/module.h"

#include "shelftest/library.h"
#include "shelftest/wait.h"

#include <uiassist/cwin32window.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <utility>
#include <vector>

namespace shelftest {
namespace {

constexpr wchar_t kModuleFile[] = L"desktopui.dll";
constexpr wchar_t kKernelFile[] = L"VexilKernel.dll";
constexpr wchar_t kSkinFolder[] = L"DesktopSkin";
constexpr wchar_t kSkinFile[] = L"KelvoDesktopUi.ufd";

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in)
        return {};
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Copies every file of from (not recursive) into to.
void CopyFolderFiles(const std::wstring& from, const std::wstring& to) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            CopyFileW((from + L"\\" + data.cFileName).c_str(), (to + L"\\" + data.cFileName).c_str(), FALSE);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

} // namespace

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::string ReadRealSkinPackage() { return ReadBytes(ExeFolder() + L"\\" + kSkinFolder + L"\\" + kSkinFile); }

namespace {

// The lines of text, each with its line end.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

// The words of a line up to its first comment word (bare words only; enough for the names and
// classes these edits look at).
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word && word[0] != '#')
        words.push_back(word);
    return words;
}

bool IsDeclaration(const std::string& line, const char* keyword, const std::string& name) {
    const std::vector<std::string> words = Words(line);
    return words.size() >= 2 && words[0] == keyword && words[1] == name;
}

// Hands the one line that declares "keyword name" to edit (which may change or empty it); "" when
// no line declares it or edit gives up (returns false).
std::string EditDeclaration(const std::string& package, const char* keyword, const std::string& name,
                            const std::function<bool(std::string&)>& edit) {
    std::string out;
    bool found = false;
    for (std::string line : Lines(package)) {
        if (IsDeclaration(line, keyword, name)) {
            if (!edit(line))
                return {};
            found = true;
        }
        out += line;
    }
    return found ? out : std::string();
}

} // namespace

std::string SkinWithoutControl(const std::string& package, const std::string& control) {
    return EditDeclaration(package, "control", control, [](std::string& line) {
        line.clear();
        return true;
    });
}

std::string SkinWithControlClass(const std::string& package, const std::string& control,
                                 const std::string& newClass) {
    return EditDeclaration(package, "control", control, [&](std::string& line) {
        const size_t at = line.find("class=");
        if (at == std::string::npos)
            return false;
        const size_t end = line.find_first_of(" \t\r\n", at);
        line.replace(at, (end == std::string::npos ? line.size() : end) - at, "class=" + newClass);
        return true;
    });
}

std::string SkinWithWindowRenamed(const std::string& package, const std::string& window,
                                  const std::string& newName) {
    return EditDeclaration(package, "window", window, [&](std::string& line) {
        line.replace(line.find(window), window.size(), newName);
        return true;
    });
}

ModuleUnderTest::ModuleUnderTest() { Load(ExeFolder()); }

ModuleUnderTest::ModuleUnderTest(const std::wstring& folder) { Load(folder); }

ModuleUnderTest::~ModuleUnderTest() { Unload(); }

void ModuleUnderTest::Load(const std::wstring& folder) {
    const std::wstring kernelPath = folder + L"\\" + kKernelFile;
    const std::wstring modulePath = folder + L"\\" + kModuleFile;
    // The kernel first: the module asks for it by its bare name and gets the copy already loaded.
    m_kernel = LoadLibraryExW(kernelPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (m_kernel == nullptr) {
        m_error = "cannot load " + Narrow(kernelPath) + " (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    m_inspector = reinterpret_cast<PFN_GetRefKernelInspector>(
        reinterpret_cast<void*>(GetProcAddress(m_kernel, VEXIL_REF_INSPECTOR_ENTRY)));
    m_module = LoadLibraryExW(modulePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (m_module == nullptr) {
        m_error = "cannot load " + Narrow(modulePath) + " (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    m_entry = reinterpret_cast<PFN_GetBookrackWindow>(
        reinterpret_cast<void*>(GetProcAddress(m_module, BOOKRACK_ENTRY)));
    if (m_entry == nullptr)
        m_error = std::string("no export ") + BOOKRACK_ENTRY;
}

CBookrackWindow* ModuleUnderTest::Window() const { return m_entry ? m_entry() : nullptr; }

IRefInspector* ModuleUnderTest::Inspector() const { return m_inspector ? m_inspector() : nullptr; }

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

void ModuleUnderTest::Unload() {
    if (CBookrackWindow* window = Window())
        window->Close();
    m_entry = nullptr;
    m_inspector = nullptr;
    if (m_module)
        FreeLibrary(std::exchange(m_module, nullptr));
    if (m_kernel)
        FreeLibrary(std::exchange(m_kernel, nullptr));
}

ModuleWithSkin::ModuleWithSkin(const std::string& skinPackage) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_folder = std::wstring(temp) + L"kelvo_skin_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(++counter) + L"_" + std::to_wstring(GetTickCount());
    const std::wstring bin = ExeFolder();
    const std::wstring skin = m_folder + L"\\" + kSkinFolder;
    if (!CreateDirectoryW(m_folder.c_str(), nullptr) ||
        !CopyFileW((bin + L"\\" + kModuleFile).c_str(), (m_folder + L"\\" + kModuleFile).c_str(), FALSE) ||
        !CopyFileW((bin + L"\\" + kKernelFile).c_str(), (m_folder + L"\\" + kKernelFile).c_str(), FALSE) ||
        !CreateDirectoryW(skin.c_str(), nullptr))
        return;
    // Whatever else the real package folder holds (images), then the test's own package.
    CopyFolderFiles(bin + L"\\" + kSkinFolder, skin);
    if (WriteBytes(skin + L"\\" + kSkinFile, skinPackage))
        m_module = std::make_unique<ModuleUnderTest>(m_folder);
}

ModuleWithSkin::~ModuleWithSkin() {
    m_module.reset();
    RemoveFolderTree(m_folder);
}

std::string ModuleWithSkin::Error() const {
    return m_module ? m_module->Error() : "cannot prepare the skin folder " + Narrow(m_folder);
}

void ModuleTest::SetUp() {
    module = std::make_unique<ModuleUnderTest>();
    ASSERT_TRUE(module->Ok()) << module->Error();
}

void ModuleTest::TearDown() {
    if (module)
        module->Unload();
    module.reset();
}

void ModuleTest::Attach() {
    Window()->SetNotifySink(&sink, module->Module());
    Window()->SetHost(&store, kShelfKey);
}

} // namespace shelftest
