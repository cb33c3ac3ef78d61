// What the host implements for the bookshelf: its notification sink, its item store and the items the
// store hands out. The module only calls these; it never releases them, and skips every call whose
// object is null. Calls run on the bookshelf window's thread, except OnBookShown when the host itself
// calls CBookrackWindow::ForwardItemShown.
//
// Strings passed to the host are valid during the call only. Strings the host returns (item texts)
// must stay valid until the calling handler returns; a null text counts as empty.
#pragma once

#include <windows.h>

#include <set>

class IShelfItem {
public:
    // The id the item was looked up with.
    virtual int GetId() = 0;
    // The book's title.
    virtual const wchar_t* GetTextA() = 0;
    // The book's author.
    virtual const wchar_t* GetTextB() = 0;
    // The web address of the book's cover image; its text after the last point names the cover
    // file's extension.
    virtual const wchar_t* GetIconUrl() = 0;
    // A third text shown with the book.
    virtual const wchar_t* GetTextC() = 0;
    // Writes at most bufferSize bytes of the host's install record into buffer; its first byte is the
    // book's ready flag. Returns 0 when the host has no answer. The module passes bufferSize 1.
    virtual int QueryFlag(void* buffer, int bufferSize, int reserved) = 0;

protected:
    ~IShelfItem() = default;
};

class IShelfHost {
public:
    // The item of that id, or null when the store does not hold it. The item stays valid until the
    // calling handler returns.
    virtual IShelfItem* GetItem(int id) = 0;
    // The number of books of the shelf key. reserved is 1.
    virtual unsigned GetItemCount(int shelfKey, int reserved) = 0;
    // Fills ids[0..count) with the ids of the shelf key, in shelf order; never writes past count.
    // Slots the host leaves unfilled keep the value 0 the module put there. reserved is 1.
    virtual void GetItemIds(int shelfKey, int* ids, unsigned count, int reserved) = 0;

protected:
    ~IShelfHost() = default;
};

class IShelfSink {
public:
    // The shelf now holds count books. reserved is 1.
    virtual void OnBookCountChanged(int count, int reserved) = 0;
    // Fetch the book's cover into folder as "<id>.<extension>"; the host may announce it afterwards
    // with WM_BOOKRACK_COVER_READY (WM_USER + 103, lParam = id) to window.
    virtual void RequestCover(HWND window, const wchar_t* folder, int id) = 0;
    virtual void OpenBook(int id, int flag) = 0;
    // True marks the book ready.
    virtual bool QueryBookFlag(int id) = 0;
    // The book stands on the shelf.
    virtual void OnBookShown(int id) = 0;
    // The user asked for a batch delete; true lets it start.
    virtual bool ToggleBookOption(int value) = 0;
    // Remove the book from the store.
    virtual void DeleteBook(int id, int flag) = 0;
    // Ids the store did not resolve during a load.
    virtual void OnMissingBooks(const std::set<unsigned long>* ids) = 0;
    // A books-changed report named these ids (ids may be null when count is 0).
    virtual void OnBooksChanged(const int* ids, int count) = 0;

protected:
    ~IShelfSink() = default;
};
