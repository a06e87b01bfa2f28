// One small ring of transfer buffers between the job's worker and one helper
// thread: the producer fills slots in order, the consumer takes them in the
// same order. A write's reader thread fills it from the image while the
// worker writes the disk; a create's worker fills it from the disk while a
// writer thread appends to the image file. One lock and two events; the
// ring owns the slots (carved, aligned, from the job's transfer buffer) and
// its thread, and gives both back at RingClose on every path.
#pragma once

#include "image/image_sink.h"
#include "image/image_source.h"
#include "imaging/job_state.h"
#include "win_api.h"

#include <cstdint>


// What the worker would have asked the image source right after a read:
// the reader thread takes it there, so the worker never touches the source
// while the reader owns it.
struct SourceView {
  double percent = 0.0;                  // a compressed image's progress
  bool sized = false;                    // ImageSourceSize's answer
  uint64_t bytes = 0;                    // and its size
  CodecError error = CodecError::None;   // the decoder's error, and where it was met
  uint64_t errorOffset = 0;
};
// The view of `source` as it stands; the caller owns the source.
SourceView TakeSourceView(ImageSource* source);

struct RingSlot {
  uint8_t* data = nullptr;  // kTransferBytes, page aligned
  SourceRead read;          // write and verify: the image read that filled it
  SourceView after;         // write: the source as that read left it
  uint32_t bytes = 0;       // create: the device bytes in it
  DWORD error = 0;          // create: that device read's error
};

struct TransferRing;
// Fills (producer) or drains (consumer) one slot. Producer: false when the
// slot is the last. Consumer: false when it failed; the ring then stops.
typedef bool (*RingStep)(TransferRing* ring, RingSlot* slot);

struct TransferRing {
  RingSlot slots[kRingSlots];
  uint32_t slotCount = 0;
  RingStep step = nullptr;    // the helper thread's side
  void* context = nullptr;    // what the step works on (a source, a sink)
  uint32_t readBytes = 0;     // a reader's bytes per slot
  uint64_t readLimit = 0;     // a reader's bytes in all (UINT64_MAX: to the image's end)
  uint64_t readGiven = 0;     // bytes asked for so far; reader only
  bool viewAfterRead = false; // a compressed image: each slot takes the source's view
  bool helperIsProducer = false;
  bool inlineSteps = true;    // no helper thread: the worker runs the steps itself
  // Under `lock`:
  uint32_t head = 0;          // the oldest filled slot
  uint32_t filled = 0;        // slots published and not yet released
  bool producerEnded = false; // the last slot is published
  bool consumerFailed = false;
  bool stopping = false;      // the worker gives up: the helper ends
  RingSlot failedSlot;        // the slot the consumer failed on (its fields, not its data)
  CRITICAL_SECTION lock;
  HANDLE filledEvent = nullptr;
  HANDLE freedEvent = nullptr;
  HANDLE thread = nullptr;    // null: no helper thread could start, the steps run inline
};

// A write's or a verify pass's reader: a thread reading `source` into the
// slots, `readBytes` per slot, `limit` bytes in all.
void StartImageReader(TransferRing* ring, uint8_t* buffer, ImageSource* source, uint32_t readBytes, uint64_t limit);
// A create's writer: a thread appending each slot's bytes to `sink`; the
// first append that fails stops it (failedSlot holds that slot's fields).
void StartImageWriter(TransferRing* ring, uint8_t* buffer, ImageSink* sink);

// Consumer side: the next slot in order, or null when the producer ended
// (or the ring stops). RingRelease hands it back.
RingSlot* RingNextFilled(TransferRing* ring);
void RingRelease(TransferRing* ring);
// Producer side: a free slot, or null when the consumer failed (or the ring
// stops). RingPublish hands it on; `last`: no slot follows.
RingSlot* RingNextFree(TransferRing* ring);
void RingPublish(TransferRing* ring, bool last);
// Producer side, at its end: waits until the consumer has drained every slot
// or failed; true when every slot went through.
bool RingDrain(TransferRing* ring);
// Stops the helper, waits for it to return and releases the thread and the
// events; safe after any of the calls above.
void RingClose(TransferRing* ring);
