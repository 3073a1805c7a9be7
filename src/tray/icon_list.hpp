// TIconList: an ordered list of icon pictures that it owns, with change brackets and one
// change notice for its owner, stored in a form description as the byte block "Icons":
// a count, then per entry the size of its icon file and the file (0 for an empty entry).
#pragma once

#include "framework/classes.hpp"
#include "framework/events.hpp"
#include "framework/graphics/icon.hpp"
#include "framework/shell.hpp"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace tray {

class TIconList : public fw::TPersistent {
    FW_CLASS(TIconList, fw::TPersistent)
public:
    TIconList();
    ~TIconList() override;
    TIconList(const TIconList&) = delete;
    TIconList& operator=(const TIconList&) = delete;

    // Change brackets: the closing of the outermost one always notifies, changed or not.
    void BeginChanges() { ++update_count_; }
    void EndChanges();
    // OnChange(this list) unless a bracket is open.
    virtual void NotifyChange();

    // Entries, empty ones included; an empty entry (nullptr) only comes from a stored block.
    virtual int Count() const { return static_cast<int>(entries_.size()); }
    // EListError outside 0 .. Count-1.
    virtual fw::TIcon* Items(int index) const;
    // Copies the icon into the entry's own icon (an empty entry gets one first); index Count
    // appends. One notice.
    virtual void SetItems(int index, const fw::TIcon* icon);

    // Appends a copy (nullptr: an empty icon); returns its index.
    virtual int Add(const fw::TIcon* icon);
    virtual int AddFromResource(fw::HINSTANCE module, std::string_view name);
    // Appends the icon itself (or an empty entry); the list owns it from then on.
    int AddEntry(std::unique_ptr<fw::TIcon> icon);
    virtual void Insert(int index, const fw::TIcon* icon);
    virtual void InsertFromResource(int index, fw::HINSTANCE module, std::string_view name);
    virtual void Delete(int index);
    virtual void Clear();
    virtual void Exchange(int index1, int index2);
    virtual void Move(int from, int to);
    virtual int IndexOf(const fw::TIcon* icon) const;

    // From another list (an empty entry there becomes an empty icon here) or a single icon;
    // nullptr clears.
    void Assign(const fw::TPersistent& source) override;
    void Assign(const fw::TPersistent* source);

    // The "Icons" block. Reading replaces the entries inside one bracket; a picture that
    // fails to load ends the read with its error, the entries before it staying.
    virtual void ReadFromStream(fw::TStream& stream);
    virtual void WriteToStream(fw::TStream& stream) const;
    void DefineProperties(fw::TFiler& filer) override;

    fw::TNotifyEvent OnChange;

private:
    // Opens a bracket for its lifetime.
    struct Bracket {
        TIconList& list;
        explicit Bracket(TIconList& l) : list(l) { list.BeginChanges(); }
        ~Bracket() { list.EndChanges(); }
    };
    void CheckIndex(int index, int limit) const;
    void Own(fw::TIcon& icon);
    void ItemChanged(fw::TObject* sender);
    void InsertEntry(int index, std::unique_ptr<fw::TIcon> icon);
    bool WrittenAgainst(const TIconList* ancestor) const;

    std::vector<std::unique_ptr<fw::TIcon>> entries_;
    std::int32_t update_count_ = 0;
};

} // namespace tray
