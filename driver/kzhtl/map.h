// Ordered map: a red-black tree of separately allocated nodes. Inserting a key that is already
// present keeps the existing entry. Growing operations take the caller's status last, do nothing
// once it holds an error and report -52000 without touching the map.
#pragma once

#include "kzhtl/allocator.h"

namespace kzhtl {

template <class T>
struct Less {
    bool operator()(const T& a, const T& b) const { return a < b; }
};

template <class K, class V>
struct MapEntry {
    const K first;
    V second;
};

template <class K, class V, class Compare = Less<K>>
class Map {
    // child[0] holds the smaller keys, child[1] the larger; the rebalancing is written once for
    // a side and its mirror.
    struct Node {
        Node* parent;
        Node* child[2];
        bool red;
        MapEntry<K, V> entry;
    };

    template <bool kConst>
    class Iterator {
        using MapType = kzhtl::ConditionalT<kConst, const Map, Map>;
        using Entry = kzhtl::ConditionalT<kConst, const MapEntry<K, V>, MapEntry<K, V>>;

    public:
        Iterator() = default;
        Iterator(Node* node, MapType* map) : _node(node), _map(map) {}
        template <bool kOther, class = kzhtl::EnableIfT<kConst && !kOther>>
        Iterator(const Iterator<kOther>& other) : _node(other._node), _map(other._map) {}

        Entry& operator*() const { return _node->entry; }
        Entry* operator->() const { return &_node->entry; }
        Iterator& operator++() {
            _node = step(_node, 1);
            return *this;
        }
        // Stepping back from end() reaches the last entry.
        Iterator& operator--() {
            _node = _node == nullptr ? extreme(_map->_root, 1) : step(_node, 0);
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        Iterator operator--(int) {
            Iterator before = *this;
            --*this;
            return before;
        }
        bool operator==(const Iterator& other) const { return _node == other._node; }
        bool operator!=(const Iterator& other) const { return _node != other._node; }

    private:
        friend class Map;
        template <bool>
        friend class Iterator;
        Node* _node = nullptr;
        MapType* _map = nullptr;
    };

public:
    using key_type = K;
    using mapped_type = V;
    using value_type = MapEntry<K, V>;
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;
    using tStatus = nKZAPALS100::tStatus;

    Map() = default;
    Map(const Map& other, tStatus& status) { assign(other, status); }
    Map(Map&& other) : _root(other._root), _size(other._size) {
        other._root = nullptr;
        other._size = 0;
    }
    Map& operator=(Map&& other) {
        if (this != &other) {
            clear();
            _root = other._root;
            _size = other._size;
            other._root = nullptr;
            other._size = 0;
        }
        return *this;
    }
    Map(const Map&) = delete;
    Map& operator=(const Map&) = delete;
    ~Map() { clear(); }

    size_t size() const { return _size; }
    bool empty() const { return _size == 0; }
    iterator begin() { return iterator(extreme(_root, 0), this); }
    iterator end() { return iterator(nullptr, this); }
    const_iterator begin() const { return const_iterator(extreme(_root, 0), this); }
    const_iterator end() const { return const_iterator(nullptr, this); }

    iterator find(const K& key) { return iterator(findNode(key), this); }
    const_iterator find(const K& key) const { return const_iterator(findNode(key), this); }
    bool contains(const K& key) const { return findNode(key) != nullptr; }

    // The first entry whose key is not below key.
    iterator lower_bound(const K& key) { return iterator(lowerBound(key), this); }
    const_iterator lower_bound(const K& key) const { return const_iterator(lowerBound(key), this); }

    // The entry of key and true when it was added; the existing entry and false when the key was
    // present (its value stays); end() and false on failure.
    template <class KeyArg, class ValueArg>
    kzhtl::Pair<iterator, bool> insert(KeyArg&& key, ValueArg&& value, tStatus& status) {
        detail::Held<K> heldKey;
        if (!heldKey.build(kzhtl::forward<KeyArg>(key), status)) return {end(), false};
        Node* parent = nullptr;
        int side = 0;
        Node* existing = locate(heldKey.get(), parent, side);
        if (existing != nullptr) return {iterator(existing, this), false};
        detail::Held<V> heldValue;
        if (!heldValue.build(kzhtl::forward<ValueArg>(value), status)) return {end(), false};
        Node* node = detail::allocateArray<Node>(1, status);
        if (node == nullptr) return {end(), false};
        new (node) Node{parent, {nullptr, nullptr}, true, {kzhtl::move(heldKey.get()), kzhtl::move(heldValue.get())}};
        if (parent == nullptr) {
            _root = node;
        } else {
            parent->child[side] = node;
        }
        rebalanceAfterInsert(node);
        ++_size;
        return {iterator(node, this), true};
    }

    // Returns the entry after the erased one.
    iterator erase(const_iterator pos) {
        Node* node = pos._node;
        Node* next = step(node, 1);
        unlink(node);
        destroyNode(node);
        --_size;
        return iterator(next, this);
    }

    size_t erase(const K& key) {
        Node* node = findNode(key);
        if (node == nullptr) return 0;
        erase(const_iterator(node, this));
        return 1;
    }

    void clear() {
        destroySubtree(_root);
        _root = nullptr;
        _size = 0;
    }

    // Replaces the contents with copies; on failure the old contents stay.
    bool assign(const Map& other, tStatus& status) {
        if (status.isFatal()) return false;
        if (this == &other) return true;
        Map copy;
        for (const auto& entry : other) {
            if (!copy.insert(entry.first, entry.second, status).second) return false;
        }
        *this = kzhtl::move(copy);
        return true;
    }

    void swap(Map& other) {
        Map held(kzhtl::move(other));
        other = kzhtl::move(*this);
        *this = kzhtl::move(held);
    }

    // Checks the red-black rules, the parent links, the order and the count.
    bool isValidTree() const {
        if (_root != nullptr && (_root->red || _root->parent != nullptr)) return false;
        size_t count = 0;
        if (blackHeight(_root, count) < 0 || count != _size) return false;
        for (const Node* node = extreme(_root, 0); node != nullptr;) {
            const Node* next = step(const_cast<Node*>(node), 1);
            if (next != nullptr && !_compare(node->entry.first, next->entry.first)) return false;
            node = next;
        }
        return true;
    }

private:
    // The last node on the given side below node.
    static Node* extreme(Node* node, int side) {
        if (node == nullptr) return nullptr;
        while (node->child[side] != nullptr) node = node->child[side];
        return node;
    }

    // The neighbour in key order: side 1 the next node, side 0 the previous one.
    static Node* step(Node* node, int side) {
        if (node->child[side] != nullptr) return extreme(node->child[side], 1 - side);
        Node* parent = node->parent;
        while (parent != nullptr && node == parent->child[side]) {
            node = parent;
            parent = parent->parent;
        }
        return parent;
    }

    static bool isRed(const Node* node) { return node != nullptr && node->red; }

    Node* findNode(const K& key) const {
        Node* node = lowerBound(key);
        return node != nullptr && !_compare(key, node->entry.first) ? node : nullptr;
    }

    Node* lowerBound(const K& key) const {
        Node* node = _root;
        Node* found = nullptr;
        while (node != nullptr) {
            if (_compare(node->entry.first, key)) {
                node = node->child[1];
            } else {
                found = node;
                node = node->child[0];
            }
        }
        return found;
    }

    // The node holding key, or null with the parent and side a new node would take.
    Node* locate(const K& key, Node*& parent, int& side) const {
        Node* node = _root;
        while (node != nullptr) {
            parent = node;
            if (_compare(key, node->entry.first)) {
                side = 0;
            } else if (_compare(node->entry.first, key)) {
                side = 1;
            } else {
                return node;
            }
            node = node->child[side];
        }
        return nullptr;
    }

    // Puts replacement (may be null) where node hangs.
    void replaceChild(Node* node, Node* replacement) {
        Node* parent = node->parent;
        if (parent == nullptr) {
            _root = replacement;
        } else {
            parent->child[parent->child[0] == node ? 0 : 1] = replacement;
        }
        if (replacement != nullptr) replacement->parent = parent;
    }

    // Moves node down to the given side; its child on the other side takes its place.
    void rotate(Node* node, int side) {
        Node* pivot = node->child[1 - side];
        node->child[1 - side] = pivot->child[side];
        if (pivot->child[side] != nullptr) pivot->child[side]->parent = node;
        replaceChild(node, pivot);
        pivot->child[side] = node;
        node->parent = pivot;
    }

    void rebalanceAfterInsert(Node* node) {
        while (node != _root && node->parent->red) {
            Node* parent = node->parent;
            Node* grandparent = parent->parent;  // a red parent is never the root
            int side = grandparent->child[0] == parent ? 0 : 1;
            Node* uncle = grandparent->child[1 - side];
            if (isRed(uncle)) {
                parent->red = false;
                uncle->red = false;
                grandparent->red = true;
                node = grandparent;
                continue;
            }
            if (node == parent->child[1 - side]) {
                rotate(parent, side);
                parent = node;
            }
            parent->red = false;
            grandparent->red = true;
            rotate(grandparent, 1 - side);
            break;
        }
        _root->red = false;
    }

    // Takes node out of the tree and restores the red-black rules; node itself is left as is.
    void unlink(Node* node) {
        Node* child;
        Node* childParent;
        bool removedRed;
        if (node->child[0] == nullptr || node->child[1] == nullptr) {
            child = node->child[0] != nullptr ? node->child[0] : node->child[1];
            childParent = node->parent;
            removedRed = node->red;
            replaceChild(node, child);
        } else {
            // the successor takes node's place and colour
            Node* next = extreme(node->child[1], 0);
            removedRed = next->red;
            child = next->child[1];
            if (next->parent == node) {
                childParent = next;
            } else {
                childParent = next->parent;
                replaceChild(next, next->child[1]);
                next->child[1] = node->child[1];
                next->child[1]->parent = next;
            }
            replaceChild(node, next);
            next->child[0] = node->child[0];
            next->child[0]->parent = next;
            next->red = node->red;
        }
        if (!removedRed) rebalanceAfterErase(child, childParent);
    }

    // child (possibly null) carries one black too few; parent is its parent.
    void rebalanceAfterErase(Node* child, Node* parent) {
        while (child != _root && !isRed(child)) {
            int side = parent->child[0] == child ? 0 : 1;
            Node* sibling = parent->child[1 - side];  // never null: that side holds a black more
            if (sibling->red) {
                sibling->red = false;
                parent->red = true;
                rotate(parent, side);
                sibling = parent->child[1 - side];
            }
            if (!isRed(sibling->child[0]) && !isRed(sibling->child[1])) {
                sibling->red = true;
                child = parent;
                parent = child->parent;
                continue;
            }
            if (!isRed(sibling->child[1 - side])) {
                sibling->child[side]->red = false;
                sibling->red = true;
                rotate(sibling, 1 - side);
                sibling = parent->child[1 - side];
            }
            sibling->red = parent->red;
            parent->red = false;
            sibling->child[1 - side]->red = false;
            rotate(parent, side);
            child = _root;
        }
        if (child != nullptr) child->red = false;
    }

    static void destroyNode(Node* node) {
        node->~Node();
        detail::releaseArray(node);
    }

    // Frees one node at a time; recursion only follows child[1] links, whose depth is logarithmic.
    static void destroySubtree(Node* node) {
        while (node != nullptr) {
            destroySubtree(node->child[1]);
            Node* smaller = node->child[0];
            destroyNode(node);
            node = smaller;
        }
    }

    // Black nodes on every path below node, or -1 when a rule is broken.
    int blackHeight(const Node* node, size_t& count) const {
        if (node == nullptr) return 0;
        ++count;
        for (const Node* below : node->child) {
            if (below != nullptr && (below->parent != node || (node->red && below->red))) return -1;
        }
        int smaller = blackHeight(node->child[0], count);
        int larger = blackHeight(node->child[1], count);
        if (smaller < 0 || smaller != larger) return -1;
        return smaller + (node->red ? 0 : 1);
    }

    Node* _root = nullptr;
    size_t _size = 0;
    Compare _compare;
};

}  // namespace kzhtl
