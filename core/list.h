#pragma once
// An intrusive doubly linked list between a head and a tail sentinel. Nodes belong to
// their user; nothing is allocated here.
#include <cstdint>

namespace quelt {

struct ListNode {
  int32_t value;   // -1 in the sentinels
  void* data;
  ListNode* prev;
  ListNode* next;
};

// Each returns 0 (-1 for a null node).
int InitList(ListNode* head, ListNode* tail);
int InsertListNodeAfter(ListNode* after, ListNode* node, int32_t value, void* data);
// Joins the node's neighbours; the node's own links stay as they were.
int UnlinkListNode(ListNode* node);

}  // namespace quelt
