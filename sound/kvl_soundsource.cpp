// Sample blocks: plain records whose owned storage lives on the C heap.
#include "sound/kvl_soundsource.h"

#include <cstdlib>

KVLSampleBlock* KVLCreateSampleBlock(int32_t frames) {
    if (frames < 0) {
        return nullptr;
    }
    auto* block = static_cast<KVLSampleBlock*>(std::calloc(1, sizeof(KVLSampleBlock)));
    if (block == nullptr) {
        return nullptr;
    }
    block->frames = frames;
    block->owned = std::calloc(static_cast<size_t>(frames) + 1, 4);
    block->data = static_cast<uint32_t*>(block->owned);
    return block;
}

void KVLReleaseSampleBlock(KVLSampleBlock* block) {
    if (block == nullptr) {
        return;
    }
    std::free(block->owned);
    std::free(block);
}
