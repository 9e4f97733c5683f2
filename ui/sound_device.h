// The sound device: the desktop's default audio output (Qt Multimedia's QAudioSink), pulling
// the player's samples on a thread of its own. The sink asks for sound through a QIODevice
// whose reads are the player's ReadSound; a timer on the same thread tells the player how
// much the sink holds that is not heard yet. Without an output, or when the sink fails, the
// player is told there is no device and runs on the system clock.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>

namespace ulvane {

class Player;
class SoundOutput;

class SoundDevice : public QObject {
    Q_OBJECT

public:
    explicit SoundDevice(Player& player, QObject* parent = nullptr);
    ~SoundDevice() override;  // closes the sink and ends its thread

    // Opens the default output, interleaved 16-bit samples at its preferred rate and channels,
    // and tells the player (SetSoundDevice) before it plays. False, with the player told there
    // is none, when no output exists or it cannot be opened. Waits for the sound thread.
    bool Open();
    // Stops pulling and releases the output; the player is told there is no device.
    void Close();
    bool isOpen() const { return open_.load(std::memory_order_acquire); }
    // The format opened (0 when closed).
    int sampleRate() const { return rate_.load(std::memory_order_acquire); }
    int channels() const { return channels_.load(std::memory_order_acquire); }

signals:
    // The sink failed while open (the device went away): the player must play on without it.
    // Emitted on the window's thread.
    void lost();

private:
    Player& player_;
    QThread thread_;
    SoundOutput* output_;  // lives on thread_; touched only there after the start
    // Handed from the sound thread to the window's: atomics, as Qt's own locks are unseen by
    // a thread checker.
    std::atomic<bool> open_{false};
    std::atomic<int> rate_{0}, channels_{0};
};

}  // namespace ulvane
