// The host side of the bookshelf, for tests: a GoogleMock notification sink, and an item store with
// items whose texts, cover address and ready flag the test chooses.
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

// What one item of the store answers. A text left unset (std::nullopt) is returned as null.
struct FakeItemData {
    std::optional<std::wstring> textA = L"Title";
    std::optional<std::wstring> textB = L"Author";
    std::optional<std::wstring> iconUrl = L"http://covers.example/cover.jpg";
    std::optional<std::wstring> textC = L"Text C";
    int queryResult = 1;         // QueryFlag's result; 0 means "no answer"
    unsigned char readyFlag = 1; // the byte QueryFlag writes when queryResult is nonzero
};

class FakeItem : public IShelfItem {
public:
    FakeItem(int id, FakeItemData data) : m_id(id), m_data(std::move(data)) {}
    virtual ~FakeItem() = default;

    int GetId() override { return m_id; }
    const wchar_t* GetTextA() override { return Text(m_data.textA); }
    const wchar_t* GetTextB() override { return Text(m_data.textB); }
    const wchar_t* GetIconUrl() override { return Text(m_data.iconUrl); }
    const wchar_t* GetTextC() override { return Text(m_data.textC); }
    int QueryFlag(void* buffer, int bufferSize, int reserved) override;

private:
    static const wchar_t* Text(const std::optional<std::wstring>& text) {
        return text ? text->c_str() : nullptr;
    }

    const int m_id;
    const FakeItemData m_data;
};

// The item store. Thread-safe: the module calls it from its window and loader threads while the test
// changes it. Items that are replaced or removed stay alive until the store is destroyed, so a pointer
// the module holds during a handler never dangles.
class FakeShelfStore : public IShelfHost {
public:
    FakeShelfStore() = default;
    virtual ~FakeShelfStore() = default;
    FakeShelfStore(const FakeShelfStore&) = delete;
    FakeShelfStore& operator=(const FakeShelfStore&) = delete;

    // Puts an item with that id into the store (replacing an earlier one) and returns it.
    FakeItem* AddItem(int id, FakeItemData data = {});
    // The store no longer holds the id: GetItem answers null for it.
    void RemoveItem(int id);
    // The ordered ids of a shelf key (what GetItemIds fills and, without override, GetItemCount).
    void SetShelf(int shelfKey, std::vector<int> ids);
    // Adds items with default data for ids and makes them the shelf of shelfKey.
    void SetShelfWithItems(int shelfKey, const std::vector<int>& ids);
    // GetItemCount answers count for the key whatever the shelf holds (to simulate a store that
    // reports more books than it fills ids for). std::nullopt removes the override.
    void SetCountOverride(int shelfKey, std::optional<unsigned> count);
    // Called on the module's thread at the start of every GetItem (outside the store's lock), e.g. to
    // hold a loader back or to record the calling thread.
    void SetGetItemHook(std::function<void(int id)> hook);

    IShelfItem* GetItem(int id) override;
    unsigned GetItemCount(int shelfKey, int reserved) override;
    void GetItemIds(int shelfKey, int* ids, unsigned count, int reserved) override;

    int GetItemCountCalls() const { return m_getItemCountCalls.load(); }

private:
    std::mutex m_lock;
    std::map<int, FakeItem*> m_items;
    std::vector<std::unique_ptr<FakeItem>> m_allItems; // owns every item ever added
    std::map<int, std::vector<int>> m_shelves;
    std::map<int, unsigned> m_countOverrides;
    std::function<void(int)> m_getItemHook;
    std::atomic<int> m_getItemCountCalls{0};
};

// The sink as plain code, for tests whose module threads call it a great many times (GoogleMock keeps
// bookkeeping per calling thread): unset callbacks do nothing, ToggleBookOption answers true.
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
