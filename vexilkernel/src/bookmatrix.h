// The book matrix: the books of the shelf as tiles, their cover paths and the user's selection.
#pragma once

#include <map>

#include "refcontrol.h"

namespace vexilref {

// Tile geometry of the plain drawing, in pixels.
constexpr int kTileWidth = 120;
constexpr int kTileHeight = 170;
constexpr int kTileGap = 16;
constexpr int kTileCaptionHeight = 36;
constexpr int kWheelStep = 60;

class CRefBookMatrix final : public CControlImpl<ICtrlBookMatrix, IRefBookMatrixInspect> {
public:
    using CControlImpl::CControlImpl;

    // ICtrlBookMatrix
    bool AddBook(const BOOK_ITEM* item, int reserved1, int reserved2, int redraw) override;
    bool SetBooks(const std::vector<BOOK_ITEM>* books, const std::vector<int>* ids, int reserved1,
                  int reserved2) override;
    LRESULT HandleNotify(WPARAM wParam, LPARAM lParam) override;
    bool SetBookImage(int id, const char* path) override;
    void UpdateLayout(int reserved, int redraw) override;
    void ClearBooks() override;
    bool RemoveBook(int id, bool relayout) override;
    const std::vector<int>* GetBookList() override { return &m_ids; }
    const std::vector<int>* GetSelectedBooks() override { return &m_selection; }
    void RemoveBooks(const std::vector<int>* ids, WPARAM value) override;
    bool UpdateBookInfo(const BOOK_INFO* info, int id) override;
    bool HasBook(int id) override;

    // IRefBookMatrixInspect
    std::vector<BOOK_INFO> Books() override;
    std::vector<int> Ids() override { return Locked(m_ids); }
    std::string ImagePath(int id) override;
    std::vector<int> Selection() override { return Locked(m_selection); }
    void SetSelection(const std::vector<int>& ids) override;
    int AddBookCalls() override { return Locked(m_addBookCalls); }
    int SetBooksCalls() override { return Locked(m_setBooksCalls); }
    int UpdateLayoutCalls() override { return Locked(m_updateLayoutCalls); }
    int ClearBooksCalls() override { return Locked(m_clearBooksCalls); }
    int RemoveBookCalls() override { return Locked(m_removeBookCalls); }
    int RemoveBooksCalls() override { return Locked(m_removeBooksCalls); }
    int UpdateBookInfoCalls() override { return Locked(m_updateBookInfoCalls); }
    int SetBookImageCalls() override { return Locked(m_setBookImageCalls); }
    int HandleNotifyCalls() override { return Locked(m_handleNotifyCalls); }
    std::vector<int> LastRemoveBooksIds() override { return Locked(m_lastRemoveIds); }
    WPARAM LastRemoveBooksValue() override { return Locked(m_lastRemoveValue); }
    int BatchDeleteEndNotices() override { return Locked(m_batchEndNotices); }
    void UserOpen(int id) override { SendToWindow(WM_REF_USER_OPEN, static_cast<WPARAM>(id)); }
    void UserDelete(int id) override { SendToWindow(WM_REF_USER_DELETE, static_cast<WPARAM>(id)); }
    void UserClick(int id, bool ctrl, bool shift) override;

private:
    const wchar_t* WindowClassName() const override { return L"VexilRefBookMatrix"; }
    void Paint(HDC dc, const RECT& client) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // The following run with m_lock held.
    int IndexOf(int id) const;
    void Layout();
    void SyncSelectionFlags();
    void ReplaceSelection(const std::vector<int>& ids);
    void ForgetBook(int id);

    // User actions, on the window thread.
    void ClickBook(int id, bool ctrl, bool shift);
    void SelectUser(const std::vector<int>& ids);
    void NotifyBook(int notification, int id);
    int FocusBook();
    int HitTest(POINT clientPoint);

    // Shelf order. m_ids mirrors m_books and, like m_selection, is handed out by pointer: both are
    // changed only on the window thread (under m_lock, for the inspector's copies).
    std::vector<BOOK_ITEM> m_books;
    std::vector<int> m_ids;
    std::vector<int> m_selection;
    std::map<int, std::string> m_images; // SetBookImage may come from any thread
    int m_anchorId = 0;                  // where a Shift-click range starts
    int m_focusId = 0;                   // the book Enter and Delete act on
    int m_scrollY = 0;
    int m_contentHeight = 0;

    int m_addBookCalls = 0;
    int m_setBooksCalls = 0;
    int m_updateLayoutCalls = 0;
    int m_clearBooksCalls = 0;
    int m_removeBookCalls = 0;
    int m_removeBooksCalls = 0;
    int m_updateBookInfoCalls = 0;
    int m_setBookImageCalls = 0;
    int m_handleNotifyCalls = 0;
    int m_batchEndNotices = 0;
    std::vector<int> m_lastRemoveIds;
    WPARAM m_lastRemoveValue = 0;
};

// The id a record's strAppId names: a positive decimal number and nothing else, or 0.
int ParseBookId(const std::string& text);

} // namespace vexilref
