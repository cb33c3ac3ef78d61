// The host side of the bookshelf: a GoogleMock sink, a plain sink, and an item store.
#pragma once

#include <bookrack/shelfhost.h>

#include <gmock/gmock.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace shelftest {

class MockShelfSink : public IShelfSink {
public:
    MOCK_METHOD(void, OnBookCountChanged, (int count, int reserved), (override));
    MOCK_METHOD(void, RequestCover, (HWND window, const wchar_t* folder, int id), (override));
    MOCK_METHOD(void, OpenBook, (int id, int flag), (override));
    MOCK_METHOD(bool, QueryBookFlag, (int id), (override));
    MOCK_METHOD(void, OnBookShown, (int id), (override));
    MOCK_METHOD(bool, ToggleBookOption, (int value), (override));
    MOCK_METHOD(void, DeleteBook, (int id, int flag), (override));
    MOCK_METHOD(void, OnMissingBooks, (const std::set<unsigned long>* ids), (override));
    MOCK_METHOD(void, OnBooksChanged, (const int* ids, int count), (override));
};

// An item of the store; an unset text is answered as null.
struct FakeItemData final : public IShelfItem {
    std::optional<std::wstring> textA = L"Title";
    std::optional<std::wstring> textB = L"Author";
    std::optional<std::wstring> iconUrl = L"http://covers.example/cover.jpg";
    std::optional<std::wstring> textC = L"Text C";
    int queryResult = 1;         // QueryFlag's result; 0 means "no answer"
    unsigned char readyFlag = 1; // the byte QueryFlag writes when queryResult is nonzero
    int id = 0;                  // set by the store

    int GetId() override { return id; }
    const wchar_t* GetTextA() override { return Text(textA); }
    const wchar_t* GetTextB() override { return Text(textB); }
    const wchar_t* GetIconUrl() override { return Text(iconUrl); }
    const wchar_t* GetTextC() override { return Text(textC); }
    int QueryFlag(void* buffer, int bufferSize, int reserved) override;
    static const wchar_t* Text(const std::optional<std::wstring>& text) {
        return text ? text->c_str() : nullptr;
    }
};

// Thread-safe, as the module's threads call it while the test changes it. Replaced and removed items
// live as long as the store, so a pointer the module holds never dangles.
class FakeShelfStore final : public IShelfHost {
public:
    // Puts an item with that id into the store, replacing an earlier one.
    void AddItem(int id, FakeItemData data = {});
    void RemoveItem(int id);
    // The ordered ids of a shelf key (what GetItemIds fills and, without override, GetItemCount).
    void SetShelf(int shelfKey, std::vector<int> ids);
    // Adds items with default data for ids and makes them the shelf of shelfKey.
    void SetShelfWithItems(int shelfKey, const std::vector<int>& ids);
    // GetItemCount answers count whatever the shelf holds; std::nullopt removes the override.
    void SetCountOverride(std::optional<unsigned> count);
    // Called at the start of every GetItem on the module's thread, outside the store's lock.
    void SetGetItemHook(std::function<void(int id)> hook);

    IShelfItem* GetItem(int id) override;
    unsigned GetItemCount(int shelfKey, int reserved) override;
    void GetItemIds(int shelfKey, int* ids, unsigned count, int reserved) override;
    int GetItemCountCalls() const { return m_getItemCountCalls.load(); }

private:
    std::mutex m_lock;
    std::map<int, FakeItemData*> m_items;
    std::vector<std::unique_ptr<FakeItemData>> m_allItems; // every item ever added
    std::map<int, std::vector<int>> m_shelves;
    std::optional<unsigned> m_countOverride;
    std::function<void(int)> m_getItemHook;
    std::atomic<int> m_getItemCountCalls{0};
};

// The sink as plain callbacks, for module threads that call it a great many times (GoogleMock keeps
// books per calling thread): unset callbacks do nothing, ToggleBookOption answers true.
class HostSink : public IShelfSink {
public:
    std::function<void(int count)> onBookCountChanged;
    std::function<void(HWND window, const wchar_t* folder, int id)> requestCover;
    std::function<void(int id, int flag)> openBook;
    std::function<void(int id, int flag)> deleteBook;
    std::function<void(const std::set<unsigned long>* ids)> onMissingBooks;

    void OnBookCountChanged(int count, int) override { Call(onBookCountChanged, count); }
    void RequestCover(HWND window, const wchar_t* folder, int id) override {
        Call(requestCover, window, folder, id);
    }
    void OpenBook(int id, int flag) override { Call(openBook, id, flag); }
    bool QueryBookFlag(int) override { return false; }
    void OnBookShown(int) override {}
    bool ToggleBookOption(int) override { return true; }
    void DeleteBook(int id, int flag) override { Call(deleteBook, id, flag); }
    void OnMissingBooks(const std::set<unsigned long>* ids) override { Call(onMissingBooks, ids); }
    void OnBooksChanged(const int*, int) override {}

private:
    template <class Fn, class... Args> static void Call(const Fn& fn, Args... args) {
        if (fn)
            fn(args...);
    }
};

} // namespace shelftest
