// KVLSoundPlayer: pulls 8192-frame blocks from a streamer on a worker thread and queues
// them on a sound output; GetCurrentSamples offers the frames at the play position to
// a visualisation.
//
// Threads: Play, Stop and GetCurrentSamples run on the owner's thread; the worker owns
// the streamer and the output's writing side between Play and Stop. The flags and
// counters shared with the worker are atomic. GetCurrentSamples reads the frames back
// from the output (which holds them until they are played), so it never touches the
// blocks the worker is refilling.
//
// A Read that fails ends the music like the end of the stream does; Play returns false
// when the worker ends without handing anything to the output.
//
// Seeking: Stop, streamer->Seek(frame), Play. Play starts the output afresh (Reset),
// so the play position counts from the frame the streamer stood at; GetPlayFrame adds
// the two. SetPaused(true) holds the output (KVLSoundOutput::SetPaused): the worker
// fills the ring and then waits, the play position and GetCurrentSamples stand still,
// and SetPaused(false) goes on from the same frame. The hold lasts through Stop and
// Play (a seek while paused stays paused).
//
// An end frame (SetEndFrame) stops the music at that stream frame rather than at the
// stream's end: the output is given the frames before it and no more, then drains, so
// the music heard ends there to the frame however late the owner notices.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/kvl_string.h"
#include "platform/kvl_thread.h"
#include "sound/kvl_soundoutput.h"
#include "sound/kvl_soundsource.h"
#include "sound/kvl_soundstreamer.h"

class KVLSoundPlayer {
public:
    static constexpr int32_t kBlockFrames = 8192;
    static constexpr int32_t kPauseMs = 20;

    // States of the worker: read a block, hand it to the output, wait until the queued
    // music has been heard, finished.
    enum State : int32_t { kNotPlaying = -1, kRead = 0, kWrite = 1, kDrain = 2, kDone = 3 };

    KVLSoundPlayer(KVLSoundOutput* output, int32_t bufferCount);
    ~KVLSoundPlayer();
    KVLSoundPlayer(const KVLSoundPlayer&) = delete;
    KVLSoundPlayer& operator=(const KVLSoundPlayer&) = delete;

    // May be called again after Stop or the end of the music, with the same streamer
    // (moved by Seek) or another of the same rate.
    bool Play(KVLSoundStreamer* streamer, KVLString* error);
    // Returns when the worker has finished; the output is reset unless the music had
    // been heard to its end.
    void Stop();
    // Fills request->data with request->frames frames from the play position on; frames
    // the output no longer holds are zero. Does nothing before Play.
    void GetCurrentSamples(KVLSampleBlock* request);

    // Holds or releases the output; before the first Play the hold applies when the
    // output opens.
    void SetPaused(bool paused);
    bool IsPaused() const { return m_paused.load(); }
    // The worker's rest between its steps (kPauseMs by default, the pace of a sound
    // card's buffer). An output that the owner plays by its own clock (a file) can
    // take a shorter one, so the music is decoded as fast as the owner consumes it.
    void SetWorkerPause(int32_t ms) { m_pauseMs.store(ms < 0 ? 0 : ms); }
    // The stream frame the music stops at, for every Play from the next one on; -1 (the
    // default, and any negative frame) plays to the stream's end. A Play from at or past
    // the end frame queues nothing and is no failure: the music has already ended.
    void SetEndFrame(int32_t frame) { m_endFrame.store(frame < 0 ? -1 : frame); }
    int32_t GetEndFrame() const { return m_endFrame.load(); }
    // The stream frame being heard: where the streamer stood at Play plus the output's
    // play position; 0 before Play.
    int32_t GetPlayFrame();

    int32_t GetState() const { return m_state.load(); }
    bool IsFinished() const { return m_worker->IsFinished(); }
    // For an owner waiting on the worker's progress (e.g. for frames to reach the
    // output): about ms of the worker's time (see KVLThread::Wait).
    void Wait(int32_t ms) { m_worker->Wait(ms); }

private:
    static bool Begin(int32_t argument, void* context);
    static bool Loop(int32_t argument, void* context);
    static bool End(int32_t argument, void* context);

    KVLSoundOutput* m_output;
    bool m_outputOpen = false;
    int32_t m_bufferCount;
    std::atomic<int32_t> m_current{-1};
    std::atomic<int32_t> m_decodedEnd{-1};
    KVLSoundStreamer* m_streamer = nullptr;
    std::atomic<int32_t> m_state{kNotPlaying};
    std::atomic<int32_t> m_pauseMs{kPauseMs};
    std::atomic<int32_t> m_endFrame{-1};
    int32_t m_writeFrames = kBlockFrames;  // worker only: the frames of the block to write
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_paused{false};
    int32_t m_startFrame = 0;  // owner's thread only
    // Output position at which everything the worker queued has been heard; a stream
    // whose position runs ahead of what reached the output still ends.
    int64_t m_queuedEnd = 0;
    std::unique_ptr<KVLThread> m_worker;
    std::vector<KVLSampleBlockPtr> m_buffers;
};
