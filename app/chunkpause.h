#ifndef CIPHERBENCH_APP_CHUNKPAUSE_H
#define CIPHERBENCH_APP_CHUNKPAUSE_H

// The file worker's pause between chunks, 1 ms on every platform. Elsewhere
// a 1 ms sleep lasts about that; on Windows Sleep(1) waits for the next tick
// of the system timer, 15.6 ms unless some program has raised its
// resolution, which would make hashing fifteen times slower than its pacing
// means it to be. There a high-resolution waitable timer (Windows 10 1803
// and later) waits 1 ms; without one, the timer resolution is raised to 1 ms
// for as long as the object lives, which the worker makes one load.
class ChunkPause
{
public:
    enum class Timer {
        Sleep,            // the platform's 1 ms sleep (not Windows)
        HighResolution,   // a waitable timer made with CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
        RaisedResolution, // Sleep(1) under timeBeginPeriod(1)
    };

    ChunkPause();
    ~ChunkPause();
    ChunkPause(const ChunkPause &) = delete;
    ChunkPause &operator=(const ChunkPause &) = delete;

    // About 1 ms.
    void pause();
    Timer timer() const { return kind; }

    // Makes Windows' fallback the choice where the high-resolution timer
    // exists too, so that both are tested on one machine.
    static void forceFallback(bool force);
    // How many pauses hold the raised timer resolution now.
    static int raisedResolutions();

private:
    Timer kind = Timer::Sleep;
    void *handle = nullptr;
};

#endif
