#include "platform/globalmem.h"

#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* Handle = (generation << SLOT_BITS) | (slot + 1). The generation changes every time a
 * slot is reused, so a stale handle stops matching its slot. */
#define SLOT_BITS 22u
#define SLOT_MASK ((1u << SLOT_BITS) - 1u)
#define GEN_BITS (32u - SLOT_BITS)
#define GEN_MASK ((1u << GEN_BITS) - 1u)
#define MAX_SLOTS (SLOT_MASK - 1u)
#define PAGE_SLOTS 4096u

typedef struct {
  unsigned char *data;
  size_t size;
  unsigned locks;
  unsigned generation; /* 1..GEN_MASK; 0 never used so handles are never 0 */
  int live;
  uint32_t next_free;  /* slot index + 1 of the next free slot, 0 = none */
} Slot;

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static Slot **g_pages;       /* pages never move, so a slot's address is stable */
static uint32_t g_page_count;
static uint32_t g_slot_count; /* slots handed out so far */
static uint32_t g_free_head;  /* slot index + 1 */
static size_t g_live;

static Slot *slot_at(uint32_t index) { return &g_pages[index / PAGE_SLOTS][index % PAGE_SLOTS]; }

/* Finds the live slot of a handle; the caller holds g_lock. */
static Slot *find_slot(HGLOBAL mem) {
  uintptr_t value = (uintptr_t)mem;
  if (value == 0 || value > 0xFFFFFFFFu) return NULL;
  uint32_t v = (uint32_t)value;
  uint32_t index = (v & SLOT_MASK);
  uint32_t gen = v >> SLOT_BITS;
  if (index == 0 || index > g_slot_count) return NULL;
  Slot *s = slot_at(index - 1);
  if (!s->live || s->generation != gen) return NULL;
  return s;
}

static Slot *new_slot(uint32_t *index_out) {
  if (g_free_head) {
    uint32_t index = g_free_head - 1;
    Slot *s = slot_at(index);
    g_free_head = s->next_free;
    *index_out = index;
    return s;
  }
  if (g_slot_count >= MAX_SLOTS) return NULL;
  if (g_slot_count % PAGE_SLOTS == 0) {
    uint32_t page = g_slot_count / PAGE_SLOTS;
    if (page >= g_page_count) {
      uint32_t count = g_page_count ? g_page_count * 2 : 16;
      Slot **pages = (Slot **)realloc(g_pages, count * sizeof(Slot *));
      if (!pages) return NULL;
      g_pages = pages;
      g_page_count = count;
    }
    g_pages[page] = (Slot *)calloc(PAGE_SLOTS, sizeof(Slot));
    if (!g_pages[page]) return NULL;
  }
  *index_out = g_slot_count++;
  return slot_at(*index_out);
}

HGLOBAL GlobalAlloc(unsigned flags, size_t bytes) {
  if (bytes > TAMRO_GLOBALMEM_MAX_BLOCK) return NULL;
  /* Allocate at least one byte so a zero-size block still has a distinct address. */
  unsigned char *data = (flags & GMEM_ZEROINIT) ? (unsigned char *)calloc(1, bytes ? bytes : 1)
                                                : (unsigned char *)malloc(bytes ? bytes : 1);
  if (!data) return NULL;
  pthread_mutex_lock(&g_lock);
  uint32_t index = 0;
  Slot *s = new_slot(&index);
  if (!s) {
    pthread_mutex_unlock(&g_lock);
    free(data);
    return NULL;
  }
  unsigned gen = s->generation + 1;
  if (gen > GEN_MASK) gen = 1;
  s->generation = gen;
  s->data = data;
  s->size = bytes;
  s->locks = 0;
  s->live = 1;
  s->next_free = 0;
  g_live++;
  pthread_mutex_unlock(&g_lock);
  return (HGLOBAL)(uintptr_t)(((uint32_t)gen << SLOT_BITS) | (index + 1));
}

void *GlobalLock(HGLOBAL mem) {
  pthread_mutex_lock(&g_lock);
  Slot *s = find_slot(mem);
  void *p = NULL;
  if (s) {
    s->locks++;
    p = s->data;
  }
  pthread_mutex_unlock(&g_lock);
  return p;
}

int GlobalUnlock(HGLOBAL mem) {
  pthread_mutex_lock(&g_lock);
  Slot *s = find_slot(mem);
  int still = 0;
  if (s) {
    if (s->locks) s->locks--;
    still = s->locks != 0;
  }
  pthread_mutex_unlock(&g_lock);
  return still;
}

unsigned GlobalLockCount(HGLOBAL mem) {
  pthread_mutex_lock(&g_lock);
  Slot *s = find_slot(mem);
  unsigned n = s ? s->locks : 0;
  pthread_mutex_unlock(&g_lock);
  return n;
}

size_t GlobalSize(HGLOBAL mem) {
  pthread_mutex_lock(&g_lock);
  Slot *s = find_slot(mem);
  size_t n = s ? s->size : 0;
  pthread_mutex_unlock(&g_lock);
  return n;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
  pthread_mutex_lock(&g_lock);
  Slot *s = find_slot(mem);
  if (!s) {
    pthread_mutex_unlock(&g_lock);
    return mem;
  }
  unsigned char *data = s->data;
  uint32_t index = (uint32_t)(uintptr_t)mem & SLOT_MASK;
  s->data = NULL;
  s->size = 0;
  s->locks = 0;
  s->live = 0;
  s->next_free = g_free_head;
  g_free_head = index;
  g_live--;
  pthread_mutex_unlock(&g_lock);
  free(data);
  return NULL;
}

HGLOBAL GlobalReAlloc(HGLOBAL mem, size_t bytes, unsigned flags) {
  if (bytes > TAMRO_GLOBALMEM_MAX_BLOCK) return NULL;
  pthread_mutex_lock(&g_lock);
  Slot *s = find_slot(mem);
  if (!s) {
    pthread_mutex_unlock(&g_lock);
    return NULL;
  }
  size_t old = s->size;
  if (s->locks && !(flags & GMEM_MOVEABLE) && bytes > old) {
    /* A locked block may not move under its holders. */
    pthread_mutex_unlock(&g_lock);
    return NULL;
  }
  if (bytes > old || s->locks == 0) {
    unsigned char *data = (unsigned char *)realloc(s->data, bytes ? bytes : 1);
    if (!data) {
      pthread_mutex_unlock(&g_lock);
      return NULL;
    }
    s->data = data;
  }
  if (bytes > old && (flags & GMEM_ZEROINIT)) memset(s->data + old, 0, bytes - old);
  s->size = bytes;
  pthread_mutex_unlock(&g_lock);
  return mem;
}

size_t GlobalLiveBlockCount(void) {
  pthread_mutex_lock(&g_lock);
  size_t n = g_live;
  pthread_mutex_unlock(&g_lock);
  return n;
}

HLOCAL LocalAlloc(unsigned flags, size_t bytes) { return GlobalAlloc(flags, bytes); }
void *LocalLock(HLOCAL mem) { return GlobalLock(mem); }
int LocalUnlock(HLOCAL mem) { return GlobalUnlock(mem); }
size_t LocalSize(HLOCAL mem) { return GlobalSize(mem); }
HLOCAL LocalFree(HLOCAL mem) { return GlobalFree(mem); }
HLOCAL LocalReAlloc(HLOCAL mem, size_t bytes, unsigned flags) { return GlobalReAlloc(mem, bytes, flags); }
