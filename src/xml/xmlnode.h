// XMLNode: one node of the minimal XML tree, owning its children, linked to its parent and
// next sibling.
#pragma once

namespace zim::xml {

class XMLNode
{
public:
    XMLNode() = default;
    XMLNode(const XMLNode &) = delete;
    XMLNode &operator=(const XMLNode &) = delete;
    // Destroys every descendant first. Works without recursion, so any depth is safe.
    virtual ~XMLNode();

    // Takes ownership of node (which must not have a parent) and makes it the last child.
    virtual void appendChild(XMLNode *node);
    // Takes ownership of node and makes it the first child.
    virtual void prependChild(XMLNode *node);
    // Unlinks node without destroying it; the caller owns it then. Nothing happens when node
    // is not a child of this one.
    virtual void removeChild(XMLNode *node);
    // newNode takes oldNode's place among the children; oldNode is unlinked and the caller
    // owns it. Nothing happens when oldNode is not a child.
    virtual void replaceChild(XMLNode *oldNode, XMLNode *newNode);
    // Inserts the sibling chain that starts at first after the child after, or at the end when
    // after is not a child, and makes this node the parent of every node of the chain.
    virtual void insertChildren(XMLNode *after, XMLNode *first);
    // Unlinks every child and returns the first; they stay linked to each other as a sibling
    // chain for insertChildren, and the caller owns them.
    XMLNode *takeChildren();

    XMLNode *parent() const { return m_parent; }
    XMLNode *nextSibling() const { return m_next; }
    XMLNode *firstChild() const { return m_firstChild; }
    XMLNode *lastChild() const { return m_lastChild; }

private:
    bool isChild(const XMLNode *node) const { return node && node->m_parent == this; }
    XMLNode *previousOf(const XMLNode *node) const;

    XMLNode *m_parent = nullptr;
    XMLNode *m_next = nullptr;
    XMLNode *m_firstChild = nullptr;
    // Kept so that appending is constant time on wide documents.
    XMLNode *m_lastChild = nullptr;
};

} // namespace zim::xml
