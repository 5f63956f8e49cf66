#ifndef NKKIVO_BENCH_ELEMENTCOUNT_H
#define NKKIVO_BENCH_ELEMENTCOUNT_H

#include <cstddef>

// Counts the element nodes below `top` of a peer's tree in a pre-order walk
// that follows only first-child, next-sibling and parent links, so the deep
// shape does not recurse. `links` tells how a library spells them:
//   Node FirstChild(Node), Node NextSibling(Node), Node Parent(Node),
//   bool IsElement(Node); a missing node tests false.
template <typename Node, typename Links>
std::size_t CountElementsBelow(Node top, const Links& links) {
    std::size_t count = 0;
    Node node = links.FirstChild(top);
    while (node && node != top) {
        if (links.IsElement(node)) {
            ++count;
        }
        if (links.FirstChild(node)) {
            node = links.FirstChild(node);
            continue;
        }
        while (node != top && !links.NextSibling(node)) {
            node = links.Parent(node);
        }
        if (node != top) {
            node = links.NextSibling(node);
        }
    }
    return count;
}

#endif
