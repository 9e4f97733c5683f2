// The sound device.
#include "ui/sound_device.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "engine/player.h"

namespace ulvane {

namespace {

// How often the sound thread tells the player what the sink holds unheard.
constexpr int kLatencyEveryMs = 20;

// What the sink reads: the player's sound due, whole sample frames at a time. It never runs
// dry (silence stands in for what is not ready), so the sink never stops for want of data.
class PlayerSound : public QIODevice {
public:
    PlayerSound(Player& player, int frameBytes) : player_(player), frameBytes_(frameBytes) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return qint64{1} << 30; }

protected:
    qint64 readData(char* data, qint64 most) override {
        const qint64 bytes = most - most % frameBytes_;
        if (bytes <= 0) return 0;
        return static_cast<qint64>(player_.ReadSound(reinterpret_cast<uint8_t*>(data), static_cast<size_t>(bytes)));
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    Player& player_;
    const int frameBytes_;
};

}  // namespace

// Everything of the sink, on the sound thread: created, pulled from, measured and deleted there.
class SoundOutput : public QObject {
public:
    SoundOutput(Player& player, std::atomic<bool>& open, std::atomic<int>& rate, std::atomic<int>& channels,
                SoundDevice& owner)
        : player_(player), open_(open), rate_(rate), channels_(channels), owner_(owner) {}
    // Runs on the sound thread as it ends; its write of `open_`, which the window reads after
    // QThread::wait(), orders everything done here before the window's end for a thread checker
    // that cannot see Qt's own locks.
    ~SoundOutput() override {
        Release();
        open_.store(false, std::memory_order_release);
    }

    // Finds the default output and its format; the sink starts in Start.
    void Open() {
        Release();
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) return;
        QAudioFormat format = device.preferredFormat();
        format.setSampleFormat(QAudioFormat::Int16);
        if (format.sampleRate() <= 0) format.setSampleRate(48000);
        format.setChannelCount(std::clamp(format.channelCount(), 1, 8));
        if (!device.isFormatSupported(format)) {
            format.setSampleRate(48000);
            format.setChannelCount(2);
            if (!device.isFormatSupported(format)) return;
        }
        format_ = format;
        device_ = device;
        rate_.store(format.sampleRate(), std::memory_order_release);
        channels_.store(format.channelCount(), std::memory_order_release);
    }

    // Starts pulling (the player knows the format by now); open_ says whether it runs.
    void Start() {
        if (device_.isNull()) return;
        sink_ = std::make_unique<QAudioSink>(device_, format_);
        sound_ = std::make_unique<PlayerSound>(player_, format_.bytesPerFrame());
        sound_->open(QIODevice::ReadOnly);
        QObject::connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            // Only a failure counts: an underrun cannot happen (the player fills with silence).
            // The sink goes once its signal has returned.
            if (starting_ || state != QAudio::StoppedState || !sink_ || sink_->error() == QAudio::NoError) return;
            open_.store(false, std::memory_order_release);
            QMetaObject::invokeMethod(
                this,
                [this, failed = sink_.get()] {
                    if (sink_.get() == failed) Release();
                },
                Qt::QueuedConnection);
            emit owner_.lost();
        });
        starting_ = true;
        sink_->start(sound_.get());
        starting_ = false;
        if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
            Release();
            return;
        }
        bytesPerSecond_ = int64_t{format_.bytesPerFrame()} * format_.sampleRate();
        latency_ = std::make_unique<QTimer>();
        latency_->setTimerType(Qt::PreciseTimer);
        QObject::connect(latency_.get(), &QTimer::timeout, this, [this] { TellLatency(); });
        latency_->start(kLatencyEveryMs);
        TellLatency();
        open_.store(true, std::memory_order_release);
    }

    void Release() {
        latency_.reset();
        if (sink_) {
            sink_->disconnect(this);
            sink_->stop();
        }
        sink_.reset();
        sound_.reset();
        device_ = QAudioDevice();
        rate_.store(0, std::memory_order_release);
        channels_.store(0, std::memory_order_release);
        open_.store(false, std::memory_order_release);
    }

private:
    // What the sink holds and has not played is what a pull waits before it is heard.
    void TellLatency() {
        if (!sink_ || bytesPerSecond_ <= 0) return;
        const int64_t held = std::max<int64_t>(0, sink_->bufferSize() - sink_->bytesFree());
        player_.SetSoundLatency(held * 1'000'000 / bytesPerSecond_);
    }

    Player& player_;
    std::atomic<bool>& open_;
    std::atomic<int>&rate_, &channels_;
    SoundDevice& owner_;
    QAudioDevice device_;
    QAudioFormat format_;
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<PlayerSound> sound_;
    std::unique_ptr<QTimer> latency_;
    int64_t bytesPerSecond_ = 0;
    bool starting_ = false;  // a failure while the sink starts is Start's to handle
};

SoundDevice::SoundDevice(Player& player, QObject* parent)
    : QObject(parent), player_(player), output_(new SoundOutput(player, open_, rate_, channels_, *this)) {
    thread_.setObjectName("sound");
    output_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, output_, &QObject::deleteLater);
    thread_.start();
}

SoundDevice::~SoundDevice() {
    Close();
    thread_.quit();
    thread_.wait();
    open_.load(std::memory_order_acquire);  // after the output's last write: see its destructor
}

bool SoundDevice::Open() {
    Close();
    QMetaObject::invokeMethod(
        output_, [o = output_] { o->Open(); }, Qt::BlockingQueuedConnection);
    const int rate = rate_.load(std::memory_order_acquire), channels = channels_.load(std::memory_order_acquire);
    if (rate <= 0 || channels <= 0) {
        player_.SetSoundDevice(false);
        return false;
    }
    // The player learns the format before the first pull.
    player_.SetSoundDevice(true, PlayerSoundFormat{rate, channels});
    QMetaObject::invokeMethod(
        output_, [o = output_] { o->Start(); }, Qt::BlockingQueuedConnection);
    if (isOpen()) return true;
    player_.SetSoundDevice(false);
    return false;
}

void SoundDevice::Close() {
    QMetaObject::invokeMethod(
        output_, [o = output_] { o->Release(); }, Qt::BlockingQueuedConnection);
    player_.SetSoundDevice(false);
}

}  // namespace ulvane
