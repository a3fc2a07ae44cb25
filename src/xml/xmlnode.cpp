// The child list operations of the minimal XML tree.
#include "xml/xmlnode.h"

namespace zim::xml {

XMLNode::~XMLNode()
{
    // Each child's own children are spliced into this list right after it before the child
    // is deleted, so no destructor ever finds children of its own: deep trees need no stack.
    XMLNode *node = m_firstChild;
    while (node) {
        if (node->m_firstChild) {
            node->m_lastChild->m_next = node->m_next;
            node->m_next = node->m_firstChild;
            node->m_firstChild = node->m_lastChild = nullptr;
        }
        XMLNode *next = node->m_next;
        delete node;
        node = next;
    }
}

XMLNode *XMLNode::previousOf(const XMLNode *node) const
{
    XMLNode *previous = nullptr;
    for (XMLNode *n = m_firstChild; n && n != node; n = n->m_next)
        previous = n;
    return previous;
}

void XMLNode::appendChild(XMLNode *node)
{
    if (!node)
        return;
    node->m_parent = this;
    node->m_next = nullptr;
    if (m_lastChild)
        m_lastChild->m_next = node;
    else
        m_firstChild = node;
    m_lastChild = node;
}

void XMLNode::prependChild(XMLNode *node)
{
    if (!node)
        return;
    node->m_parent = this;
    node->m_next = m_firstChild;
    m_firstChild = node;
    if (!m_lastChild)
        m_lastChild = node;
}

void XMLNode::removeChild(XMLNode *node)
{
    if (!isChild(node))
        return;
    XMLNode *previous = previousOf(node);
    if (previous)
        previous->m_next = node->m_next;
    else
        m_firstChild = node->m_next;
    if (m_lastChild == node)
        m_lastChild = previous;
    node->m_parent = nullptr;
    node->m_next = nullptr;
}

void XMLNode::replaceChild(XMLNode *oldNode, XMLNode *newNode)
{
    if (!isChild(oldNode) || !newNode || oldNode == newNode)
        return;
    XMLNode *previous = previousOf(oldNode);
    newNode->m_parent = this;
    newNode->m_next = oldNode->m_next;
    if (previous)
        previous->m_next = newNode;
    else
        m_firstChild = newNode;
    if (m_lastChild == oldNode)
        m_lastChild = newNode;
    oldNode->m_parent = nullptr;
    oldNode->m_next = nullptr;
}

XMLNode *XMLNode::takeChildren()
{
    XMLNode *first = m_firstChild;
    for (XMLNode *n = first; n; n = n->m_next)
        n->m_parent = nullptr;
    m_firstChild = m_lastChild = nullptr;
    return first;
}

void XMLNode::insertChildren(XMLNode *after, XMLNode *first)
{
    if (!first)
        return;
    XMLNode *last = first;
    for (;;) {
        last->m_parent = this;
        if (!last->m_next)
            break;
        last = last->m_next;
    }
    if (!isChild(after))
        after = m_lastChild;
    if (after) {
        last->m_next = after->m_next;
        after->m_next = first;
        if (m_lastChild == after)
            m_lastChild = last;
    } else {
        last->m_next = nullptr;
        m_firstChild = first;
        m_lastChild = last;
    }
}

} // namespace zim::xml
