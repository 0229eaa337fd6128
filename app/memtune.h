#pragma once
// How the allocator treats the large buffers a message passes through.
namespace app {

// Called once at program start, before anything large is allocated.
void TuneMemory();

}  // namespace app
