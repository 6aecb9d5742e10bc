#pragma once
// Reference-counted objects and the 1-based collections that hold them.
#include <cstddef>
#include <memory>
#include <vector>

namespace marbrook {

// Base of every object a collection or a variant may hold (layers, dataset
// names, chosen items). Lifetime is shared: the last holder releases it.
class Object {
public:
    virtual ~Object() = default;
};

using ObjectPtr = std::shared_ptr<Object>;

// An ordered collection of object references, indexed from 1.
// Item() and Remove() throw std::out_of_range for an index outside 1..Count().
class Collection {
public:
    [[nodiscard]] long Count() const noexcept { return static_cast<long>(items_.size()); }
    [[nodiscard]] const ObjectPtr& Item(long index) const { return items_.at(Slot(index)); }
    void Add(ObjectPtr item) { items_.push_back(std::move(item)); }
    void Remove(long index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(Slot(index))); }
    void Clear() noexcept { items_.clear(); }

    template <class T>
    [[nodiscard]] std::shared_ptr<T> ItemAs(long index) const { return std::dynamic_pointer_cast<T>(Item(index)); }

private:
    std::size_t Slot(long index) const;
    std::vector<ObjectPtr> items_;
};

} // namespace marbrook
