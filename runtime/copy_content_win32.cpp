// The blocks of a copy: one thread reads ahead into a small ring of buffers while the calling
// thread writes and flushes, so neither disk waits for the other.
#include "runtime/copy_content_win32.h"

#include <windows.h>

#include <atomic>

namespace runtime {
namespace {

// Page-aligned blocks of 256 KiB keep the copy as fast as the platform's own. Under Wine on a
// virtual machine whose host takes back free memory, 1 MiB blocks were at times up to three times
// slower: the page cache then seems to take the new file's memory in pieces that large, which
// the host must first hand back.
constexpr DWORD kBlockSize = 256u << 10;
// Blocks in flight: the reader may be this far ahead (4 MiB), so that a slow source keeps
// being read through a short flush of the destination.
constexpr int kRingBlocks = 16;

// What the reader and the writer share. The semaphores count the free and the filled blocks;
// each block is touched by one side at a time, handed over through them.
struct Ring {
  HANDLE from = nullptr;
  unsigned char* memory = nullptr;
  HANDLE free = nullptr;
  HANDLE filled = nullptr;
  DWORD got[kRingBlocks] = {};
  bool failed[kRingBlocks] = {};
  std::atomic<bool> quit{false};  // the writer gave up: read no more
};

// Reads block after block until the end of the file, a failure or the writer's quit; the block
// after the last one holds 0 bytes (or a failure), so the writer knows where it ends.
DWORD WINAPI Read(LPVOID context) {
  Ring& ring = *static_cast<Ring*>(context);
  for (int slot = 0;; slot = (slot + 1) % kRingBlocks) {
    WaitForSingleObject(ring.free, INFINITE);
    if (ring.quit.load()) return 0;
    DWORD got = 0;
    ring.failed[slot] =
        !ReadFile(ring.from, ring.memory + slot * kBlockSize, kBlockSize, &got, nullptr);
    ring.got[slot] = got;
    ReleaseSemaphore(ring.filled, 1, nullptr);
    if (got == 0 || ring.failed[slot]) return 0;
  }
}

bool GoesOn(const CopyProgress* progress, std::int64_t copied, std::int64_t total) {
  return progress == nullptr || progress->step(progress->context, copied, total);
}

// The writer's side, once the reader runs.
bool WriteAll(Ring& ring, HANDLE to, std::int64_t size, const CopyProgress* progress) {
  std::int64_t copied = 0;
  std::int64_t flushed = 0;
  std::int64_t nextFlush = kFirstFlushBytes;  // with a `progress` only
  // An empty file hears only of its end, just before the rename.
  if (size > 0 && !GoesOn(progress, 0, size)) return false;
  for (int slot = 0;; slot = (slot + 1) % kRingBlocks) {
    WaitForSingleObject(ring.filled, INFINITE);
    const DWORD got = ring.got[slot];
    if (ring.failed[slot]) return false;
    if (got == 0) return copied == size;
    DWORD written = 0;
    if (!WriteFile(to, ring.memory + slot * kBlockSize, got, &written, nullptr) ||
        written != got) {
      return false;
    }
    ReleaseSemaphore(ring.free, 1, nullptr);
    copied += got;
    // The last block is followed by the final flush and the rename, which DuplicateFile reports.
    if (copied >= size) continue;
    if (progress != nullptr && copied - flushed >= nextFlush) {
      const DWORD start = GetTickCount();
      if (!FlushFileBuffers(to)) return false;
      nextFlush = BytesBeforeNextFlush(copied - flushed, GetTickCount() - start);
      flushed = copied;
    }
    if (!GoesOn(progress, copied, size)) return false;
  }
}

}  // namespace

bool CopyContent(void* from, void* to, std::int64_t size, const CopyProgress* progress) {
  FILE_END_OF_FILE_INFO end = {};
  end.EndOfFile.QuadPart = size;
  if (!SetFileInformationByHandle(to, FileEndOfFileInfo, &end, sizeof end)) return false;
  Ring ring;
  ring.from = from;
  ring.memory = static_cast<unsigned char*>(VirtualAlloc(
      nullptr, kBlockSize * kRingBlocks, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ring.free = CreateSemaphoreW(nullptr, kRingBlocks, kRingBlocks, nullptr);
  ring.filled = CreateSemaphoreW(nullptr, 0, kRingBlocks, nullptr);
  HANDLE reader = nullptr;
  if (ring.memory != nullptr && ring.free != nullptr && ring.filled != nullptr)
    reader = CreateThread(nullptr, 0, Read, &ring, 0, nullptr);
  bool ok = false;
  if (reader != nullptr) {
    ok = WriteAll(ring, to, size, progress);
    // A reader waiting for a free block wakes up to the quit; one that ended is gone already.
    ring.quit.store(true);
    ReleaseSemaphore(ring.free, 1, nullptr);
    WaitForSingleObject(reader, INFINITE);
    CloseHandle(reader);
  }
  if (ring.filled != nullptr) CloseHandle(ring.filled);
  if (ring.free != nullptr) CloseHandle(ring.free);
  if (ring.memory != nullptr) VirtualFree(ring.memory, 0, MEM_RELEASE);
  return ok;
}

}  // namespace runtime
