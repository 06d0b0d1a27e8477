#pragma once
// Doubly linked lists: elements in insertion order after a current element, selected by index.

#include <cstdint>

#include "runtime/core/memory.h"

namespace vorlune {

struct LinkedList;

struct LinkedListNode {
    LinkedListNode* next;
    LinkedListNode* prev;
    // the element follows
};

// Owned by the list's user: word 0 the list, word 1 the node of the current element.
struct ListVariable {
    LinkedList* list;
    LinkedListNode* currentNode;
};

struct LinkedList {
    LinkedListNode* first;
    LinkedListNode* last;
    LinkedListNode* currentNode;
    LinkedListNode** currentOut;  // word 1 of the variable, kept equal to currentNode
    int64_t count;
    int64_t currentIndex;
    const int64_t* layout;
    Pool* pool;         // shared by every list of the same node size
    void* extraBlocks;  // singly linked sized blocks released with the list
    ListVariable* owner;
    uint64_t nodeSize;  // element size + 16
    int32_t elementType;
    uint8_t noCurrent;
    uint8_t needsInit;
    uint8_t ownsVariable;
};

// Lists --------------------------------------------------------------------------------------
LinkedList* CreateList(uint64_t elementSize, ListVariable* variable, const int64_t* layout,
                       int32_t elementType);  // null variable: the list keeps its own;
                                              // null on failure
void ClearList(LinkedList* list);
int32_t CopyList(LinkedList* source, LinkedList* target, int32_t clear);  // 0 for null lists,
                                                                          // elements of another
                                                                          // kind or no memory
int32_t CopyListReplacing(LinkedList* source, LinkedList* target);        // CopyList clearing first
void DestroyList(LinkedList* list);                                       // null does nothing

// Elements -------------------------------------------------------------------------------------
void* AddListElement(LinkedList* list);  // after the current element, or in front without one;
                                         // null when out of memory, nothing changed
void* SelectListElement(LinkedList* list, int64_t index);  // null outside 0..count-1, which
                                                           // leaves no current element
void* ListNodeElement(LinkedListNode* node);               // null for null

// How SelectListElement reaches an index, for tests and diagnostics ---------------------------
enum class ListWalkStart { kFirst, kLast, kCurrent };
struct ListWalk {
    ListWalkStart start;
    bool forward;
    int64_t steps;
};
ListWalk PlanListWalk(const LinkedList* list, int64_t index);  // index inside 0..count-1

// Start hook -----------------------------------------------------------------------------------
void InitLists();  // fills the list slots of the container hooks

}  // namespace vorlune
