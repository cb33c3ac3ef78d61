#include "kernelhost.h"

#include <objidl.h>
#include <gdiplus.h>

#include <future>
#include <memory>

namespace kerneltest {
namespace {

const wchar_t kHostClass[] = L"KernelTestHost";
constexpr UINT WM_TEST_RUN = WM_APP + 1;        // lParam = const std::function<void()>*
constexpr UINT WM_TEST_RUN_POSTED = WM_APP + 2; // lParam = std::function<void()>*, owned

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

} // namespace

KernelModule::KernelModule() : folder(ExeFolder()) {
    module = LoadLibraryExW((folder + L"VexilKernel.dll").c_str(), nullptr,
                            LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module)
        return;
    auto entry = reinterpret_cast<PFN_GetUiKernelInterface>(
        reinterpret_cast<void*>(GetProcAddress(module, VEXIL_KERNEL_ENTRY)));
    auto inspect = reinterpret_cast<PFN_GetRefKernelInspector>(
        reinterpret_cast<void*>(GetProcAddress(module, VEXIL_REF_INSPECTOR_ENTRY)));
    kernel = entry ? entry() : nullptr;
    inspector = inspect ? inspect() : nullptr;
}

KernelModule::~KernelModule() {
    if (module)
        FreeLibrary(module);
}

HostWindow::HostWindow(DWORD style) {
    std::promise<HWND> ready;
    std::future<HWND> created = ready.get_future();
    m_thread = std::thread([this, &ready, style] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kHostClass;
        RegisterClassExW(&wc); // once per process; later calls fail harmlessly
        HWND hwnd = CreateWindowExW(0, kHostClass, L"kernel test host", style, 0, 0, 1000, 600, nullptr,
                                    nullptr, wc.hInstance, this);
        m_threadId = GetCurrentThreadId();
        ready.set_value(hwnd);
        if (!hwnd)
            return;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    });
    m_hwnd = created.get();
}

HostWindow::~HostWindow() {
    Destroy();
    m_thread.join();
}

void HostWindow::Run(const std::function<void()>& fn) {
    SendMessageW(m_hwnd, WM_TEST_RUN, 0, reinterpret_cast<LPARAM>(&fn));
}

void HostWindow::Post(std::function<void()> fn) {
    auto* owned = new std::function<void()>(std::move(fn));
    if (!PostMessageW(m_hwnd, WM_TEST_RUN_POSTED, 0, reinterpret_cast<LPARAM>(owned)))
        delete owned;
}

ISkinWindow* HostWindow::Build(IUiKernel* kernel, const std::wstring& path, const std::wstring& name) {
    ISkinWindow* skin = nullptr;
    Run([&] {
        skin = kernel->CreateSkinWindow(m_hwnd, path.c_str(), name.c_str());
        if (skin)
            skin->SetCtrlMsgCallBack(this);
    });
    return skin;
}

bool HostWindow::Flush() {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> flushed = done->get_future();
    Post([done] { done->set_value(); });
    return flushed.wait_for(std::chrono::milliseconds(kWaitMs)) == std::future_status::ready;
}

void HostWindow::Destroy() {
    if (IsWindow(m_hwnd))
        Run([this] { DestroyWindow(m_hwnd); });
}

void HostWindow::Record(const Notice& notice) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_notices.push_back(notice);
    m_changed.notify_all();
}

std::vector<Notice> HostWindow::Notices() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_notices;
}

bool HostWindow::WaitFor(int id, Notice* notice, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    const Notice* found = nullptr;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const Notice& n : m_notices)
            if (n.id == id)
                found = &n;
        return found != nullptr;
    });
    if (found && notice)
        *notice = *found;
    return found != nullptr;
}

int HostWindow::WaitCreateResult() {
    std::unique_lock<std::mutex> lock(m_lock);
    int code = 1;
    m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] {
        for (const Notice& n : m_notices)
            if (n.id == WM_VEXIL_CREATE_DONE || n.id == WM_VEXIL_CREATE_ERROR)
                code = n.id == WM_VEXIL_CREATE_DONE ? 0 : static_cast<int>(n.wParam);
        return code != 1;
    });
    return code;
}

LRESULT HostWindow::OnCtrlMessage(IControlBase* control, int id, WPARAM wParam, LPARAM lParam) {
    Notice notice;
    notice.id = id;
    notice.wParam = wParam;
    notice.control = control;
    notice.threadId = GetCurrentThreadId();
    if ((id == VEXIL_NOTIFY_OPEN_BOOK || id == VEXIL_NOTIFY_DELETE_BOOK) && lParam)
        notice.bookId = reinterpret_cast<const BOOK_INFO*>(lParam)->strAppId;
    Record(notice);
    if (onNotice)
        onNotice(notice);
    return 0;
}

LRESULT CALLBACK HostWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!host)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_TEST_RUN:
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    case WM_TEST_RUN_POSTED: {
        std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(lParam));
        (*fn)();
        return 0;
    }
    case WM_VEXIL_CREATE_DONE:
    case WM_VEXIL_CREATE_ERROR: {
        Notice notice;
        notice.id = static_cast<int>(message);
        notice.wParam = wParam;
        notice.threadId = GetCurrentThreadId();
        host->Record(notice);
        return 0;
    }
    case WM_NCLBUTTONDOWN: {
        Notice notice;
        notice.id = static_cast<int>(message);
        notice.wParam = wParam;
        notice.threadId = GetCurrentThreadId();
        notice.point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        host->Record(notice);
        // The system's move loop: the host is not visible, so it ends at once.
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

TempFolder::TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"vexilkernel-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount()) + L"\\";
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    for (auto file = m_files.rbegin(); file != m_files.rend(); ++file)
        if (!DeleteFileW(file->c_str()))
            RemoveDirectoryW(file->c_str());
    RemoveDirectoryW(m_path.c_str());
}

std::wstring TempFolder::Write(const std::wstring& name, const std::string& text) {
    const size_t slash = name.find(L'\\');
    if (slash != std::wstring::npos && CreateDirectoryW((m_path + name.substr(0, slash)).c_str(), nullptr))
        m_files.push_back(m_path + name.substr(0, slash));
    const std::wstring path = m_path + name;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
        m_files.push_back(path);
    }
    return path;
}

std::wstring TempFolder::Own(const std::wstring& name) {
    m_files.push_back(m_path + name);
    return m_files.back();
}

BOOK_ITEM Book(int id, const std::string& title, const std::string& author) {
    BOOK_ITEM item;
    item.bookInfo.bValid = true;
    item.bookInfo.strAppId = std::to_string(id);
    item.bookInfo.strText2 = title;
    item.bookInfo.strText6 = author;
    return item;
}

std::string OneWindowPackage(const std::string& controlLines) {
    return "vexilskin 1\nwindow W size=600x400 title=\"Test window\"\n" + controlLines + "end\n";
}

std::string AllControlLines() {
    return "control button class=button rect=10,10,90,40 text=\"Go\"\n"
           "control progressbar class=progressbar rect=10,50,200,60\n"
           "control staticbox class=staticbox rect=10,70,200,90 text=\"Hello\"\n"
           "control bookmatrix class=bookmatrix rect=0,100,400,400\n"
           "control bookrackmanager class=bookrackmanager rect=0,0,600,30\n"
           "control iebrowser class=iebrowser rect=400,100,600,400\n"
           "control caption class=caption rect=0,0,600,20\n"
           "control label class=label rect=0,0,600,20 text=\"x\"\n"
           "control panel class=panel rect=0,0,600,20\n";
}

// ---- Drawing --------------------------------------------------------------------------------

Canvas::Canvas(int width, int height, COLORREF fill) : m_width(width), m_height(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = static_cast<uint32_t*>(bits);
    m_dc = CreateCompatibleDC(nullptr);
    m_old = SelectObject(m_dc, m_bitmap);
    const uint32_t pixel = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
    for (int i = 0; m_bits && i < width * height; ++i)
        m_bits[i] = pixel;
}

Canvas::~Canvas() {
    SelectObject(m_dc, m_old);
    DeleteDC(m_dc);
    DeleteObject(m_bitmap);
}

COLORREF Canvas::At(int x, int y) const {
    if (!m_bits || x < 0 || y < 0 || x >= m_width || y >= m_height)
        return CLR_INVALID;
    const uint32_t pixel = m_bits[static_cast<size_t>(y) * m_width + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

int Canvas::Count(const RECT& rect, COLORREF colour, int tolerance) const {
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (Near(At(x, y), colour, tolerance))
                ++count;
    return count;
}

int Canvas::Differences(const Canvas& other, const RECT& rect) const {
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (At(x, y) != other.At(x, y))
                ++count;
    return count;
}

namespace {

ULONG_PTR StartTestGdiplus() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    return token; // for the life of the test program
}

bool EncoderFor(const wchar_t* mime, CLSID* clsid) {
    static const ULONG_PTR token = StartTestGdiplus();
    UINT count = 0, bytes = 0;
    if (!token || Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0)
        return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok)
        return false;
    for (UINT i = 0; i < count; ++i)
        if (_wcsicmp(codecs[i].MimeType, mime) == 0) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    return false;
}

} // namespace

bool Canvas::SavePng(const std::wstring& path) const {
    CLSID png;
    if (!EncoderFor(L"image/png", &png))
        return false;
    GdiFlush();
    Gdiplus::Bitmap image(m_width, m_height, m_width * 4, PixelFormat32bppRGB,
                          reinterpret_cast<BYTE*>(m_bits));
    return image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    if (a == CLR_INVALID || b == CLR_INVALID)
        return false;
    return abs(GetRValue(a) - GetRValue(b)) <= tolerance && abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

RECT ClientRectOf(HWND hwnd) {
    RECT rect = {};
    GetClientRect(hwnd, &rect);
    return rect;
}

POINT Centre(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

std::unique_ptr<Canvas> RenderSkinWindow(ISkinWindow* skin, HWND hwnd) {
    const RECT client = ClientRectOf(hwnd);
    auto canvas =
        std::make_unique<Canvas>(std::max(1L, client.right), std::max(1L, client.bottom), kUnpainted);
    auto* inspect = dynamic_cast<IRefSkinWindowInspect*>(skin);
    const std::vector<std::string> names = inspect->ControlNames();
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        IControlBase* control = skin->GetControl(name->c_str());
        RECT rect = {};
        control->GetCtrlRect(&rect);
        HWND window = dynamic_cast<IRefControlInspect*>(control)->ControlWindow();
        POINT origin = {};
        SetViewportOrgEx(canvas->Dc(), rect.left, rect.top, &origin);
        SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas->Dc()), PRF_CLIENT);
        SetViewportOrgEx(canvas->Dc(), origin.x, origin.y, nullptr);
    }
    GdiFlush();
    return canvas;
}

bool WriteSolidImage(const std::wstring& path, COLORREF colour, int width, int height) {
    CLSID encoder;
    if (!EncoderFor(L"image/png", &encoder))
        return false;
    Gdiplus::Bitmap image(width, height, PixelFormat32bppRGB);
    {
        Gdiplus::Graphics graphics(&image);
        graphics.Clear(Gdiplus::Color(255, GetRValue(colour), GetGValue(colour), GetBValue(colour)));
    }
    return image.Save(path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
}

} // namespace kerneltest
