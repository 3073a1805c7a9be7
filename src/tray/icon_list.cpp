// The icon list: entries, change brackets, assignment and the "Icons" block.
#include "tray/icon_list.hpp"

#include "framework/exceptions.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace tray {

TIconList::TIconList() = default;

TIconList::~TIconList() {
    OnChange = nullptr;
    Clear();
}

void TIconList::EndChanges() {
    if (update_count_ > 0) --update_count_;
    if (update_count_ == 0) NotifyChange();
}

void TIconList::NotifyChange() {
    if (update_count_ == 0 && OnChange.Assigned()) OnChange(this);
}

void TIconList::CheckIndex(int index, int limit) const {
    if (index < 0 || index > limit)
        throw fw::EListError("List index out of bounds (" + std::to_string(index) + ")");
}

fw::TIcon* TIconList::Items(int index) const {
    CheckIndex(index, Count() - 1);
    return entries_[static_cast<std::size_t>(index)].get();
}

void TIconList::Own(fw::TIcon& icon) {
    icon.OnChange = fw::Bind<&TIconList::ItemChanged>(this);
}

void TIconList::ItemChanged(fw::TObject*) {
    NotifyChange();
}

void TIconList::SetItems(int index, const fw::TIcon* icon) {
    CheckIndex(index, Count());
    Bracket bracket(*this);
    if (index == Count()) Add(nullptr);
    auto& entry = entries_[static_cast<std::size_t>(index)];
    if (!entry) {
        entry = std::make_unique<fw::TIcon>();
        Own(*entry);
    }
    if (icon)
        entry->Assign(*icon);
    else
        entry->Clear();
}

int TIconList::Add(const fw::TIcon* icon) {
    auto copy = std::make_unique<fw::TIcon>();
    if (icon) copy->Assign(*icon);
    return AddEntry(std::move(copy));
}

int TIconList::AddFromResource(fw::HINSTANCE module, std::string_view name) {
    auto icon = std::make_unique<fw::TIcon>();
    fw::LoadIcon(module, name, *icon);
    return AddEntry(std::move(icon));
}

int TIconList::AddEntry(std::unique_ptr<fw::TIcon> icon) {
    InsertEntry(Count(), std::move(icon));
    return Count() - 1;
}

void TIconList::InsertEntry(int index, std::unique_ptr<fw::TIcon> icon) {
    if (icon) Own(*icon);
    entries_.insert(entries_.begin() + index, std::move(icon));
    NotifyChange();
}

void TIconList::Insert(int index, const fw::TIcon* icon) {
    CheckIndex(index, Count());
    auto copy = std::make_unique<fw::TIcon>();
    if (icon) copy->Assign(*icon);
    InsertEntry(index, std::move(copy));
}

void TIconList::InsertFromResource(int index, fw::HINSTANCE module, std::string_view name) {
    CheckIndex(index, Count());
    auto icon = std::make_unique<fw::TIcon>();
    fw::LoadIcon(module, name, *icon);
    InsertEntry(index, std::move(icon));
}

void TIconList::Delete(int index) {
    CheckIndex(index, Count() - 1);
    const auto at = entries_.begin() + index;
    if (*at) (*at)->OnChange = nullptr;
    entries_.erase(at);
    NotifyChange();
}

void TIconList::Clear() {
    Bracket bracket(*this);
    for (int i = Count() - 1; i >= 0; --i)
        Delete(i);
}

void TIconList::Exchange(int index1, int index2) {
    CheckIndex(index1, Count() - 1);
    CheckIndex(index2, Count() - 1);
    std::swap(entries_[static_cast<std::size_t>(index1)],
              entries_[static_cast<std::size_t>(index2)]);
    NotifyChange();
}

void TIconList::Move(int from, int to) {
    CheckIndex(from, Count() - 1);
    CheckIndex(to, Count() - 1);
    auto entry = std::move(entries_[static_cast<std::size_t>(from)]);
    entries_.erase(entries_.begin() + from);
    entries_.insert(entries_.begin() + to, std::move(entry));
    NotifyChange();
}

int TIconList::IndexOf(const fw::TIcon* icon) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i] && entries_[i].get() == icon) return static_cast<int>(i);
    return -1;
}

void TIconList::Assign(const fw::TPersistent* source) {
    if (!source) {
        Clear();
        return;
    }
    Assign(*source);
}

void TIconList::Assign(const fw::TPersistent& source) {
    if (&source == this) return;
    if (const auto* list = dynamic_cast<const TIconList*>(&source)) {
        Bracket bracket(*this);
        Clear();
        for (int i = 0; i < list->Count(); ++i)
            Add(list->Items(i));
        return;
    }
    if (const auto* icon = dynamic_cast<const fw::TIcon*>(&source)) {
        Bracket bracket(*this);
        Clear();
        Add(icon);
        return;
    }
    fw::TPersistent::Assign(source);
}

void TIconList::ReadFromStream(fw::TStream& stream) {
    Bracket bracket(*this);
    Clear();
    const std::int32_t count = stream.ReadInt32();
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t size = stream.ReadInt32();
        if (size <= 0) {
            AddEntry(nullptr);
            continue;
        }
        // ReadBytes refuses a size beyond what the stream holds before allocating it.
        const auto bytes = stream.ReadBytes(static_cast<std::size_t>(size));
        auto icon = std::make_unique<fw::TIcon>();
        icon->LoadFromBytes(bytes);
        AddEntry(std::move(icon));
    }
}

void TIconList::WriteToStream(fw::TStream& stream) const {
    stream.WriteInt32(Count());
    for (const auto& entry : entries_) {
        if (!entry || entry->Empty()) {
            stream.WriteInt32(0);
            continue;
        }
        const auto bytes = entry->SaveToBytes();
        stream.WriteInt32(static_cast<std::int32_t>(bytes.size()));
        stream.WriteBytes(bytes);
    }
}

bool TIconList::WrittenAgainst(const TIconList* ancestor) const {
    if (ancestor && ancestor->Count() == Count() && Count() > 0) {
        for (int i = 0; i < Count(); ++i)
            if (Items(i) != ancestor->Items(i)) return true;
        return false;
    }
    return Count() > 0;
}

void TIconList::DefineProperties(fw::TFiler& filer) {
    const auto* ancestor = dynamic_cast<const TIconList*>(filer.Ancestor());
    filer.DefineBinaryProperty(
        "Icons", [this](fw::TStream& s) { ReadFromStream(s); },
        [this](fw::TStream& s) { WriteToStream(s); }, WrittenAgainst(ancestor));
}

} // namespace tray
