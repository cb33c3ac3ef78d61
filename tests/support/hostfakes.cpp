#include "shelftest/hostfakes.h"

#include <algorithm>

namespace shelftest {

int FakeItemData::QueryFlag(void* buffer, int bufferSize, int) {
    if (queryResult != 0 && buffer != nullptr && bufferSize >= 1)
        *static_cast<unsigned char*>(buffer) = readyFlag;
    return queryResult;
}

void FakeShelfStore::AddItem(int id, FakeItemData data) {
    auto item = std::make_unique<FakeItemData>(std::move(data));
    item->id = id;
    std::lock_guard<std::mutex> guard(m_lock);
    m_items[id] = item.get();
    m_allItems.push_back(std::move(item));
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

void FakeShelfStore::SetCountOverride(std::optional<unsigned> count) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_countOverride = count;
}

void FakeShelfStore::SetGetItemHook(std::function<void(int)> hook) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_getItemHook = std::move(hook);
}

IShelfItem* FakeShelfStore::GetItem(int id) {
    std::unique_lock<std::mutex> guard(m_lock);
    const std::function<void(int)> hook = m_getItemHook;
    guard.unlock();
    if (hook)
        hook(id);
    guard.lock();
    auto found = m_items.find(id);
    return found == m_items.end() ? nullptr : found->second;
}

unsigned FakeShelfStore::GetItemCount(int shelfKey, int) {
    ++m_getItemCountCalls;
    std::lock_guard<std::mutex> guard(m_lock);
    return m_countOverride.value_or(static_cast<unsigned>(m_shelves[shelfKey].size()));
}

void FakeShelfStore::GetItemIds(int shelfKey, int* ids, unsigned count, int) {
    std::lock_guard<std::mutex> guard(m_lock);
    const std::vector<int>& shelf = m_shelves[shelfKey];
    if (ids != nullptr)
        std::copy_n(shelf.begin(), std::min<size_t>(count, shelf.size()), ids);
}

} // namespace shelftest
