#include "shelftest/hostfakes.h"

#include <algorithm>
#include <cstring>

namespace shelftest {

int FakeItem::QueryFlag(void* buffer, int bufferSize, int) {
    if (m_data.queryResult == 0)
        return 0;
    if (buffer != nullptr && bufferSize >= 1)
        *static_cast<unsigned char*>(buffer) = m_data.readyFlag;
    return m_data.queryResult;
}

FakeItem* FakeShelfStore::AddItem(int id, FakeItemData data) {
    auto item = std::make_unique<FakeItem>(id, std::move(data));
    FakeItem* raw = item.get();
    std::lock_guard<std::mutex> guard(m_lock);
    m_allItems.push_back(std::move(item));
    m_items[id] = raw;
    return raw;
}

void FakeShelfStore::RemoveItem(int id) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_items.erase(id);
}

void FakeShelfStore::SetShelf(int shelfKey, std::vector<int> ids) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_shelves[shelfKey] = std::move(ids);
}

void FakeShelfStore::SetShelfWithItems(int shelfKey, const std::vector<int>& ids) {
    for (int id : ids)
        AddItem(id);
    SetShelf(shelfKey, ids);
}

void FakeShelfStore::SetCountOverride(int shelfKey, std::optional<unsigned> count) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (count)
        m_countOverrides[shelfKey] = *count;
    else
        m_countOverrides.erase(shelfKey);
}

void FakeShelfStore::SetGetItemHook(std::function<void(int)> hook) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_getItemHook = std::move(hook);
}

IShelfItem* FakeShelfStore::GetItem(int id) {
    std::function<void(int)> hook;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        hook = m_getItemHook;
    }
    if (hook)
        hook(id);
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_items.find(id);
    return found == m_items.end() ? nullptr : found->second;
}

unsigned FakeShelfStore::GetItemCount(int shelfKey, int) {
    ++m_getItemCountCalls;
    std::lock_guard<std::mutex> guard(m_lock);
    auto overridden = m_countOverrides.find(shelfKey);
    if (overridden != m_countOverrides.end())
        return overridden->second;
    auto shelf = m_shelves.find(shelfKey);
    return shelf == m_shelves.end() ? 0u : static_cast<unsigned>(shelf->second.size());
}

void FakeShelfStore::GetItemIds(int shelfKey, int* ids, unsigned count, int) {
    if (ids == nullptr)
        return;
    std::lock_guard<std::mutex> guard(m_lock);
    auto shelf = m_shelves.find(shelfKey);
    if (shelf == m_shelves.end())
        return;
    const size_t n = std::min<size_t>(count, shelf->second.size());
    std::copy_n(shelf->second.begin(), n, ids);
}

} // namespace shelftest
