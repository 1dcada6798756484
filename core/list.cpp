#include "core/list.h"

namespace quelt {

int InitList(ListNode* head, ListNode* tail) {
  if (!head || !tail) return -1;
  *head = ListNode{-1, nullptr, nullptr, tail};
  *tail = ListNode{-1, nullptr, head, nullptr};
  return 0;
}

int InsertListNodeAfter(ListNode* after, ListNode* node, int32_t value, void* data) {
  if (!after || !node) return -1;
  node->value = value;
  node->data = data;
  ListNode* successor = after->next;
  node->prev = after;
  node->next = successor;
  if (successor) successor->prev = node;
  after->next = node;
  return 0;
}

int UnlinkListNode(ListNode* node) {
  if (!node) return -1;
  if (node->prev) node->prev->next = node->next;
  if (node->next) node->next->prev = node->prev;
  return 0;
}

}  // namespace quelt
