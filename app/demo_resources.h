// The demo's resource catalogue: numeric resource ids mapped to members of the
// archive "quorvel.pak" (the table is in app/demo_archive_members.h).
//
// The archive is opened lazily: the first request creates the buffered archive
// stream, and every id gets one member stream, created on its first request and kept
// until ReleaseDemoResources (or process exit). Streams are handed out unopened;
// callers open them or clones of them. An id outside the table maps to the member
// with the empty name, which normally does not exist.
//
// Main thread only (scenes load before the show starts); there is no lock.
#pragma once

#include <cstdint>

#include "core/kvl_stream.h"
#include "core/kvl_string.h"

// The member name for an id, or the empty string for an id outside the table.
const char* GetDemoResourceName(uint32_t id);

// The member stream for id (owned by the catalogue, never null, not opened).
KVLStream* GetDemoResource(uint32_t id);

// Where the archive is looked for (default "quorvel.pak", relative to the current
// folder). Drops every cached stream, so it is meant for start-up and tests, before
// anyone holds a stream.
void SetDemoArchivePath(const KVLString& path);
const KVLString& GetDemoArchivePath();

// Deletes every cached stream and the archive stream; the next request starts again.
void ReleaseDemoResources();

// How many ids are cached, and whether the archive stream exists (tests).
int32_t GetDemoResourceCount();
bool IsDemoArchiveCreated();
