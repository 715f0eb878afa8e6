// Animation1: the animation player of the progress frame. It plays the frames of an AVI clip
// without sound, as the platform's animation control does; app/AviReader decodes them.
#pragma once

#include <QImage>
#include <QLabel>
#include <QTimer>

#include <filesystem>
#include <vector>

namespace levora {

struct AviClip {
    std::vector<QImage> frames;
    int frameMs = 100;
};

// Throws Error 53 when the file is missing and Error 75 when it is not a clip this player can show.
AviClip readAviClip(const std::filesystem::path& file);

class AnimationControl : public QLabel {
    Q_OBJECT
public:
    explicit AnimationControl(QWidget* parent = nullptr);

    void open(const std::filesystem::path& file);
    void close();
    // Repeats without end until stop().
    void play();
    void stop();
    bool isPlaying() const { return m_timer.isActive(); }
    int frameCount() const { return static_cast<int>(m_clip.frames.size()); }
    int currentFrame() const { return m_frame; }

private:
    void showFrame(int index);

    AviClip m_clip;
    QTimer m_timer;
    int m_frame = 0;
};

} // namespace levora
