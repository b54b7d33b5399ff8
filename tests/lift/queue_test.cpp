// The call queue: order, head and tail pointers, removal, and a heap that runs out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lift/cola.h"

namespace {

std::vector<int32_t> Floors(Cola* head) {
  std::vector<int32_t> out;
  for (Cola* node = head; node != nullptr; node = node->siguiente) out.push_back(node->piso);
  return out;
}

struct MessageBoxCall {
  HWND owner;
  std::string text, caption;
  UINT buttons;
};
std::vector<MessageBoxCall> boxes;
int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT buttons) {
  boxes.push_back({owner, text ? text : "(null)", caption ? caption : "(null)", buttons});
  return IDCANCEL;
}

void* NoMemory(size_t) { return nullptr; }

std::vector<void*> released;
void RecordRelease(void* node) {
  released.push_back(node);
  std::free(node);
}

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_reserve_ = reservar_nodo;
    saved_release_ = liberar_nodo;
    saved_notice_ = avisar;
    avisar = RecordBox;
    boxes.clear();
    released.clear();
  }
  void TearDown() override {
    reservar_nodo = saved_reserve_;
    while (!EstaVacia(head_)) Borrar(&head_, &tail_);
    liberar_nodo = saved_release_;
    avisar = saved_notice_;
  }
  void Append(std::initializer_list<int32_t> floors) {
    for (int32_t f : floors) Insertar(&head_, &tail_, f);
  }

  Cola* head_ = nullptr;
  Cola* tail_ = nullptr;

 private:
  void* (*saved_reserve_)(size_t);
  void (*saved_release_)(void*);
  int (WINAPI* saved_notice_)(HWND, LPCSTR, LPCSTR, UINT);
};

TEST_F(QueueTest, FreshQueueIsEmptyAndFirstAppendIsHeadAndTail) {
  EXPECT_EQ(EstaVacia(head_), 1);
  Append({2});
  EXPECT_EQ(EstaVacia(head_), 0);
  ASSERT_NE(head_, nullptr);
  EXPECT_EQ(head_, tail_);
  EXPECT_EQ(head_->piso, 2);
  EXPECT_EQ(head_->siguiente, nullptr);
}

TEST_F(QueueTest, ValuesLeaveInTheOrderTheyCame) {
  Append({3, 1, 2});
  EXPECT_EQ(Floors(head_), (std::vector<int32_t>{3, 1, 2}));
  EXPECT_EQ(tail_->piso, 2);
  EXPECT_EQ(tail_->siguiente, nullptr);
  for (int32_t expected : {3, 1, 2}) {
    ASSERT_EQ(EstaVacia(head_), 0);
    EXPECT_EQ(head_->piso, expected);
    Borrar(&head_, &tail_);
  }
  EXPECT_EQ(head_, nullptr);
  EXPECT_EQ(tail_, nullptr);
  EXPECT_EQ(EstaVacia(head_), 1);
}

TEST_F(QueueTest, RemovingHeadOfTwoLeavesTailAsHead) {
  Append({1, 3});
  Cola* const tail = tail_;
  Borrar(&head_, &tail_);
  EXPECT_EQ(tail_, tail);
  EXPECT_EQ(head_, tail);
  EXPECT_EQ(head_->piso, 3);
}

TEST_F(QueueTest, RepeatedFloorsAreAllKept) {
  Append({2, 2, 2, 2, 2});
  EXPECT_EQ(Floors(head_), (std::vector<int32_t>(5, 2)));
}

TEST_F(QueueTest, AppendAfterEmptyingStartsAFreshList) {
  Append({1});
  Borrar(&head_, &tail_);
  Append({3, 2});
  EXPECT_EQ(Floors(head_), (std::vector<int32_t>{3, 2}));
  EXPECT_EQ(tail_->piso, 2);
}

TEST_F(QueueTest, RemovalReleasesTheOldHeadOnly) {
  liberar_nodo = RecordRelease;
  Append({1, 2});
  Cola* const old_head = head_;
  Borrar(&head_, &tail_);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0], old_head);
  EXPECT_EQ(Floors(head_), (std::vector<int32_t>{2}));
}

TEST_F(QueueTest, RemovingFromEmptyQueueDoesNothing) {
  liberar_nodo = RecordRelease;
  Borrar(&head_, &tail_);
  EXPECT_EQ(head_, nullptr);
  EXPECT_EQ(tail_, nullptr);
  EXPECT_TRUE(released.empty());
  Borrar(nullptr, nullptr);
  Insertar(nullptr, nullptr, 1);
}

TEST_F(QueueTest, FullHeapShowsTheBoxAndLeavesQueueAsItWas) {
  Append({3, 1});
  Cola* const head = head_;
  Cola* const tail = tail_;
  reservar_nodo = NoMemory;
  Insertar(&head_, &tail_, 2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].text, "No hay espacio suficiente en la cola");
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[0].buttons, static_cast<UINT>(MB_OKCANCEL));
  EXPECT_EQ(head_, head);
  EXPECT_EQ(tail_, tail);
  EXPECT_EQ(tail_->siguiente, nullptr);
  EXPECT_EQ(Floors(head_), (std::vector<int32_t>{3, 1}));
}

TEST_F(QueueTest, FullHeapOnEmptyQueueKeepsItEmpty) {
  reservar_nodo = NoMemory;
  Insertar(&head_, &tail_, 1);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(head_, nullptr);
  EXPECT_EQ(tail_, nullptr);
}

}  // namespace
