// The ring of transfer buffers between the worker and its helper thread; see transfer_ring.h.
#include "imaging/transfer_ring.h"

#include <algorithm>

namespace {

// The reader's step: the next piece of the image, and the source as the
// read left it, as the worker would have found it.
bool ReadStep(TransferRing* ring, RingSlot* slot) {
  ImageSource* source = static_cast<ImageSource*>(ring->context);
  const uint64_t left = ring->readLimit - ring->readGiven;
  const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(ring->readBytes, left));
  slot->read = ReadImageSource(source, slot->data, bytes);
  if (ring->viewAfterRead) slot->after = TakeSourceView(source);
  ring->readGiven += bytes;
  return slot->read.status == SourceStatus::More && ring->readGiven < ring->readLimit;
}

bool WriteStep(TransferRing* ring, RingSlot* slot) {
  return WriteImageSink(static_cast<ImageSink*>(ring->context), slot->data, slot->bytes);
}

DWORD WINAPI ProducerThread(LPVOID parameter) {
  TransferRing* ring = static_cast<TransferRing*>(parameter);
  for (;;) {
    RingSlot* slot = RingNextFree(ring);
    if (slot == nullptr) return 0;
    const bool more = ring->step(ring, slot);
    RingPublish(ring, !more);
    if (!more) return 0;
  }
}

DWORD WINAPI ConsumerThread(LPVOID parameter) {
  TransferRing* ring = static_cast<TransferRing*>(parameter);
  for (;;) {
    RingSlot* slot = RingNextFilled(ring);
    if (slot == nullptr) return 0;
    if (!ring->step(ring, slot)) {
      EnterCriticalSection(&ring->lock);
      ring->consumerFailed = true;
      ring->failedSlot = *slot;
      LeaveCriticalSection(&ring->lock);
      SetEvent(ring->freedEvent);
      return 0;
    }
    RingRelease(ring);
  }
}

void Prepare(TransferRing* ring, uint8_t* buffer, RingStep step, void* context, bool helperIsProducer) {
  ring->slotCount = kRingSlots;
  for (uint32_t i = 0; i < kRingSlots; ++i) {
    ring->slots[i] = RingSlot{};
    ring->slots[i].data = buffer + size_t{i} * kTransferBytes;
  }
  ring->step = step;
  ring->context = context;
  ring->helperIsProducer = helperIsProducer;
  InitializeCriticalSection(&ring->lock);
  ring->filledEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ring->freedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ring->inlineSteps = true;
  if (ring->filledEvent == nullptr || ring->freedEvent == nullptr) return;
  // Set before the helper exists, which reads it: it never changes while it runs.
  ring->inlineSteps = false;
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, helperIsProducer ? ProducerThread : ConsumerThread, ring, 0, &threadId);
  if (thread == nullptr) ring->inlineSteps = true;  // no helper: nothing else reads it
  ring->thread = thread;
}

// Waits for `event` with the lock let go; the caller holds it before and after.
void WaitUnlocked(TransferRing* ring, HANDLE event) {
  LeaveCriticalSection(&ring->lock);
  WaitForSingleObject(event, INFINITE);
  EnterCriticalSection(&ring->lock);
}

}  // namespace

SourceView TakeSourceView(ImageSource* source) {
  SourceView view;
  if (!ImageSourceCompressed(source)) return view;  // a plain image's progress and size follow the counts
  view.percent = ImageSourcePercent(source);
  view.sized = ImageSourceSize(source, &view.bytes);
  view.error = source->decoder.error;
  view.errorOffset = source->decoder.errorOffset;
  return view;
}

void StartImageReader(TransferRing* ring, uint8_t* buffer, ImageSource* source, uint32_t readBytes, uint64_t limit) {
  ring->readBytes = readBytes;
  ring->readLimit = limit;
  ring->readGiven = 0;
  ring->viewAfterRead = ImageSourceCompressed(source);
  Prepare(ring, buffer, ReadStep, source, true);
}

void StartImageWriter(TransferRing* ring, uint8_t* buffer, ImageSink* sink) {
  Prepare(ring, buffer, WriteStep, sink, false);
}

RingSlot* RingNextFilled(TransferRing* ring) {
  EnterCriticalSection(&ring->lock);
  // Without a reader thread the worker reads the next piece itself.
  if (ring->inlineSteps && ring->helperIsProducer && ring->filled == 0 && !ring->producerEnded) {
    RingSlot* slot = &ring->slots[ring->head];
    LeaveCriticalSection(&ring->lock);
    const bool more = ring->step(ring, slot);
    EnterCriticalSection(&ring->lock);
    ring->filled = 1;
    ring->producerEnded = !more;
  }
  while (ring->filled == 0 && !ring->producerEnded && !ring->stopping) WaitUnlocked(ring, ring->filledEvent);
  RingSlot* slot = ring->filled != 0 && !ring->stopping ? &ring->slots[ring->head] : nullptr;
  LeaveCriticalSection(&ring->lock);
  return slot;
}

void RingRelease(TransferRing* ring) {
  EnterCriticalSection(&ring->lock);
  ring->head = (ring->head + 1) % ring->slotCount;
  ring->filled--;
  LeaveCriticalSection(&ring->lock);
  if (ring->freedEvent != nullptr) SetEvent(ring->freedEvent);
}

RingSlot* RingNextFree(TransferRing* ring) {
  EnterCriticalSection(&ring->lock);
  while (ring->filled == ring->slotCount && !ring->consumerFailed && !ring->stopping) {
    WaitUnlocked(ring, ring->freedEvent);
  }
  RingSlot* slot = nullptr;
  if (!ring->consumerFailed && !ring->stopping) slot = &ring->slots[(ring->head + ring->filled) % ring->slotCount];
  LeaveCriticalSection(&ring->lock);
  return slot;
}

void RingPublish(TransferRing* ring, bool last) {
  EnterCriticalSection(&ring->lock);
  ring->filled++;
  if (last) ring->producerEnded = true;
  const bool inline_ = ring->inlineSteps && !ring->helperIsProducer;
  LeaveCriticalSection(&ring->lock);
  if (ring->filledEvent != nullptr) SetEvent(ring->filledEvent);
  if (!inline_) return;
  // Without a writer thread the worker appends the slot itself.
  RingSlot* slot = &ring->slots[ring->head];
  if (ring->step(ring, slot)) {
    RingRelease(ring);
    return;
  }
  EnterCriticalSection(&ring->lock);
  ring->consumerFailed = true;
  ring->failedSlot = *slot;
  LeaveCriticalSection(&ring->lock);
}

bool RingDrain(TransferRing* ring) {
  EnterCriticalSection(&ring->lock);
  ring->producerEnded = true;
  LeaveCriticalSection(&ring->lock);
  if (ring->filledEvent != nullptr) SetEvent(ring->filledEvent);
  EnterCriticalSection(&ring->lock);
  while (ring->filled != 0 && !ring->consumerFailed) WaitUnlocked(ring, ring->freedEvent);
  const bool drained = !ring->consumerFailed;
  LeaveCriticalSection(&ring->lock);
  return drained;
}

void RingClose(TransferRing* ring) {
  if (ring->slotCount == 0) return;
  EnterCriticalSection(&ring->lock);
  ring->stopping = true;
  LeaveCriticalSection(&ring->lock);
  if (ring->thread != nullptr) {
    SetEvent(ring->filledEvent);
    SetEvent(ring->freedEvent);
    WaitForSingleObject(ring->thread, INFINITE);
    CloseHandle(ring->thread);
    ring->thread = nullptr;
  }
  if (ring->filledEvent != nullptr) CloseHandle(ring->filledEvent);
  if (ring->freedEvent != nullptr) CloseHandle(ring->freedEvent);
  ring->filledEvent = ring->freedEvent = nullptr;
  DeleteCriticalSection(&ring->lock);
  ring->slotCount = 0;
}
