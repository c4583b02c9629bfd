#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/exception.h"

namespace inicpp {

// Elements in insertion order with unique names and a name index. Copies are
// deep: a copied document or schema shares nothing with the original.
template <typename T>
class named_list {
public:
    using const_iterator = typename std::vector<std::shared_ptr<T>>::const_iterator;

    named_list() = default;
    named_list(const named_list& other)
    {
        for (const auto& element : other._elements)
            add(std::make_shared<T>(*element));
    }
    named_list(named_list&&) noexcept = default;
    named_list& operator=(const named_list& other)
    {
        if (this != &other)
            *this = named_list(other);
        return *this;
    }
    named_list& operator=(named_list&&) noexcept = default;

    void add(std::shared_ptr<T> element)
    {
        const std::string name = element->get_name();
        if (_index.count(name) != 0)
            throw ambiguity_exception(name);
        _index.emplace(name, element);
        _elements.push_back(std::move(element));
    }

    void remove(const std::string& name)
    {
        const auto found = _index.find(name);
        if (found == _index.end())
            throw not_found_exception(name);
        _elements.erase(std::find(_elements.begin(), _elements.end(), found->second));
        _index.erase(found);
    }

    std::size_t size() const { return _elements.size(); }
    bool contains(const std::string& name) const { return _index.count(name) != 0; }

    T& at(std::size_t index) const
    {
        if (index >= _elements.size())
            throw not_found_exception(index);
        return *_elements[index];
    }

    T& at(const std::string& name) const
    {
        const auto found = _index.find(name);
        if (found == _index.end())
            throw std::out_of_range("map::at");
        return *found->second;
    }

    const_iterator begin() const { return _elements.begin(); }
    const_iterator end() const { return _elements.end(); }

    bool operator==(const named_list& other) const
    {
        if (_elements.size() != other._elements.size())
            return false;
        for (std::size_t i = 0; i < _elements.size(); ++i)
            if (!(*_elements[i] == *other._elements[i]))
                return false;
        return true;
    }

private:
    std::vector<std::shared_ptr<T>> _elements;
    std::map<std::string, std::shared_ptr<T>> _index;
};

} // namespace inicpp
