// The display-mode file and the account switch. The window thread (also as it ends).
#include "bookrackwindowimpl.h"

#include "shelflibrary.h"

namespace {

// Larger display-mode files are not taken over: the save gives up rather than lose their content.
constexpr LONGLONG kMaxShowModeFileBytes = 16 * 1024 * 1024;

// Reads the whole file. False when it cannot be read completely.
bool ReadWholeFile(const wchar_t* path, std::string& content) {
    vexil::ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        size.QuadPart > kMaxShowModeFileBytes)
        return false;
    content.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return content.empty() ||
           (ReadFile(file.get(), &content[0], static_cast<DWORD>(content.size()), &read, nullptr) &&
            read == content.size());
}

// Replaces the file's content and flushes it to the disk.
bool WriteWholeFile(const wchar_t* path, const std::string& content) {
    vexil::ScopedHandle file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && (content.empty() || (WriteFile(file.get(), content.data(),
                                                  static_cast<DWORD>(content.size()), &written, nullptr) &&
                                        written == content.size()));
}

bool FlushFile(const wchar_t* path) {
    vexil::ScopedHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && FlushFileBuffers(file.get());
}

// A file that goes away unless it was kept.
class TemporaryFile {
public:
    explicit TemporaryFile(const wchar_t* path) : m_path(path) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!m_kept)
            DeleteFileW(m_path.c_str());
    }
    void Keep() { m_kept = true; }

private:
    std::wstring m_path;
    bool m_kept = false;
};

// The name the manager shows for the account: generated display names (they hold the mark) give
// way to the account name, without its domain.
std::string UserNameFor(const std::string& accountId, const std::string& accountInfo) {
    if (accountInfo.find(bookrack::kGeneratedNameMark) == std::string::npos)
        return accountInfo;
    return accountId.substr(0, accountId.find('@'));
}

} // namespace

void CBookrackWindowImpl::SaveShowMode(int mode) {
    std::wstring folder;
    if (!GetLibraryFolder(folder))
        return;
    const std::wstring ini = folder + L"\\" + bookrack::kShowModeFile;
    if (ini.size() >= MAX_PATH)
        return;
    const wchar_t* value = (mode == 1 || mode == 2) ? L"1" : L"0";

    // The file is never written in place: a copy beside it takes the new value and then replaces it
    // in one step, so a failure at any point leaves the user's file as it was. Whatever else the
    // user keeps in the file is carried over; a read-only file is left alone.
    std::string content;
    const DWORD attributes = GetFileAttributesW(ini.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
            return;
        if (!ReadWholeFile(ini.c_str(), content))
            return;
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return;
    }

    wchar_t temp[MAX_PATH] = {};
    if (GetTempFileNameW(folder.c_str(), L"fol", 0, temp) == 0)
        return;
    TemporaryFile tempFile(temp);
    if (!WriteWholeFile(temp, content) ||
        !WritePrivateProfileStringW(bookrack::kShowModeSection, bookrack::kShowModeKey, value, temp) ||
        !FlushFile(temp))
        return;
    // Looked at again just before the replacement, which not every system refuses for a read-only
    // file: it may have become read-only meanwhile.
    const DWORD current = GetFileAttributesW(ini.c_str());
    if (current != INVALID_FILE_ATTRIBUTES && (current & FILE_ATTRIBUTE_READONLY) != 0)
        return;
    if (!MoveFileExW(temp, ini.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return;
    tempFile.Keep();
}

void CBookrackWindowImpl::OnAccountLogin(UINT ticket) {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (ticket != 0) {
        AccountHandover handover;
        {
            std::lock_guard<std::mutex> lock(m_accountLock);
            auto found = m_accountHandovers.find(ticket);
            // Not handed over by Login (another program's message, or the window went meanwhile).
            if (found == m_accountHandovers.end())
                return;
            handover = std::move(found->second);
            m_accountHandovers.erase(found);
        }
        m_strShownAccountId = std::move(handover.accountId);
        m_strShownAccountInfo = std::move(handover.accountInfo);
    }
    if (ICtrlBookMatrix* matrix = m_pBookMatrix.load())
        matrix->ClearBooks();
    LoadShelf();
    if (ICtrlBookrackManager* manager = m_pBookrackMgr.load())
        manager->SetUserName(false, UserNameFor(m_strShownAccountId, m_strShownAccountInfo).c_str());
}

void CBookrackWindowImpl::OnAccountLogout() {
    VEXIL_ASSERT_WINDOW_THREAD();
    if (ICtrlBookMatrix* matrix = m_pBookMatrix.load())
        matrix->ClearBooks();
    if (ICtrlBookrackManager* manager = m_pBookrackMgr.load())
        manager->SetUserName(true, "");
    LoadShelf();
}
