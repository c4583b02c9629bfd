#pragma once

#include "LibMisc/Exceptions.h"

#include <cstddef>
#include <list>
#include <string>
#include <utility>
#include <vector>

namespace LibMisc {

enum TreeErrorCode {
    TREE_ELEMENT_NOT_FOUND = -1,
    TREE_CANT_UP = 2,
    TREE_CANT_DOWN = 3,
};

class TreeException : public ErrorCodeException {
public:
    explicit TreeException(TreeErrorCode code, std::string text = "unknown")
        : ErrorCodeException(code, std::move(text))
    {
    }
};

// Ordered tree of (key, value) elements; keys may repeat and elements keep
// insertion order. An element with children is a constructed element.
template <typename Key, typename Value, typename Exception>
class Tree {
    struct Element {
        Key key;
        Value value;
        std::list<Element> children;
    };
    using Level = std::list<Element>;

public:
    // Walks one level; up() and down() move into the children of the current
    // element and back, keeping the parents on a stack. Copies copy the stack.
    class Iterator {
    public:
        bool isEnd() const { return _position == _level->end(); }
        bool isRootLevel() const { return _parents.empty(); }
        bool hasChildren() const { return !isEnd() && !_position->children.empty(); }

        const Key& key() const { return _current().key; }
        const Value& value() const { return _current().value; }

        // Next sibling; stays at the end of the level once there.
        Iterator& operator++()
        {
            if (!isEnd())
                ++_position;
            return *this;
        }

        void up()
        {
            if (!hasChildren())
                throw Exception(TREE_CANT_UP, "Can't up. It is end point");
            _enterChildren();
        }

        void down()
        {
            if (isRootLevel())
                throw Exception(TREE_CANT_DOWN, "Can't down. It is root level");
            _level = _parents.back().first;
            _position = _parents.back().second;
            _parents.pop_back();
        }

        // First descendant with the key, depth first; at the end of the
        // children level when there is none.
        Iterator operator[](const Key& key) const
        {
            Iterator found = *this;
            if (isEnd())
                return found;
            found._enterChildren();
            _findEveryWhere(found, FindKeyCondition(key));
            return found;
        }

    private:
        friend class Tree;

        Iterator(Level* level, typename Level::iterator position) : _level(level), _position(position) {}

        Element& _current() const
        {
            if (isEnd())
                throw Exception(TREE_ELEMENT_NOT_FOUND, "Element not found");
            return *_position;
        }

        void _enterChildren()
        {
            _parents.emplace_back(_level, _position);
            _level = &_position->children;
            _position = _level->begin();
        }

        Level* _level;
        typename Level::iterator _position;
        std::vector<std::pair<Level*, typename Level::iterator>> _parents;
    };

    class ICondition {
    public:
        virtual ~ICondition() = default;
        virtual bool eq(const Iterator& it) const = 0;
    };

    class FindKeyCondition : public ICondition {
    public:
        explicit FindKeyCondition(Key key) : _key(std::move(key)) {}
        bool eq(const Iterator& it) const override { return !it.isEnd() && it.key() == _key; }

    private:
        Key _key;
    };

    Tree() = default;

    std::size_t size() const { return _count; }
    bool empty() const { return _count == 0; }
    void clear()
    {
        _roots.clear();
        _count = 0;
    }

    // Iterators hand out write access for pushBack; a const tree gives them
    // out for searching only, so the cast never leads to a write.
    Iterator begin() const { return Iterator(_mutableRoots(), _mutableRoots()->begin()); }
    Iterator end() const { return Iterator(_mutableRoots(), _mutableRoots()->end()); }

    Iterator pushBack(Key key, Value value)
    {
        _roots.push_back(Element{std::move(key), std::move(value), {}});
        ++_count;
        return Iterator(&_roots, std::prev(_roots.end()));
    }

    // At the end of its level: appends to that level. On an element: appends
    // a child to it and returns an iterator whose parent is `it`.
    Iterator pushBack(const Iterator& it, Key key, Value value)
    {
        Iterator added = it;
        if (!it.isEnd())
            added._enterChildren();
        added._level->push_back(Element{std::move(key), std::move(value), {}});
        added._position = std::prev(added._level->end());
        ++_count;
        return added;
    }

    // First element with the key, depth first from the first root element;
    // the end of the root level when there is none.
    Iterator operator[](const Key& key) const
    {
        Iterator it = begin();
        _findEveryWhere(it, FindKeyCondition(key));
        return it;
    }

    // Depth-first search from the iterator's position: leaves it on the match
    // (inside the subtree, parents stacked) or at the end of its level.
    static bool _findEveryWhere(Iterator& it, const ICondition& condition)
    {
        for (; !it.isEnd(); ++it) {
            if (condition.eq(it))
                return true;
            if (it.hasChildren()) {
                it.up();
                if (_findEveryWhere(it, condition))
                    return true;
                it.down();
            }
        }
        return false;
    }

private:
    Level* _mutableRoots() const { return const_cast<Level*>(&_roots); }

    Level _roots;
    std::size_t _count = 0;
};

} // namespace LibMisc
