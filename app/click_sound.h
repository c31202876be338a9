#pragma once
// The click that every command makes. Playing returns at once; a new click cuts one still
// playing. Without an audio device, or without the sound resource, nothing is heard and nothing
// is reported.

#include <QSoundEffect>

namespace k3v {

class ClickSound {
  public:
    virtual ~ClickSound() = default;
    virtual void play() = 0;
};

class QtClickSound : public ClickSound {
  public:
    QtClickSound();
    void play() override;
    // False when the sound resource is missing: then nothing is ever played.
    bool hasSound() const { return !effect_.source().isEmpty(); }
    // Whether the sound is still being loaded (Qt loads it on a thread of its own).
    bool loading() const { return effect_.status() == QSoundEffect::Loading; }

  private:
    QSoundEffect effect_;
};

}  // namespace k3v
