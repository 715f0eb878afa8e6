#include "Animation.h"

#include "app/AviReader.h"
#include "platform/Error.h"

#include <QPainter>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace levora {

AviClip readAviClip(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw Error(err::FileNotFound);
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error(err::PathFileAccess);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const AviVideo video = parseAvi(data);
    AviClip clip;
    clip.frameMs = video.frameMs;
    const AviImage* previous = nullptr;
    for (const auto& frame : video.frames) {
        if (frame.get() == previous) { // a repeated frame shares the image
            clip.frames.push_back(clip.frames.back());
            continue;
        }
        QImage img(frame->width, frame->height, QImage::Format_RGB32);
        for (int y = 0; y < frame->height; ++y)
            std::memcpy(img.scanLine(y), frame->pixels.data() + static_cast<size_t>(y) * frame->width,
                        static_cast<size_t>(frame->width) * sizeof(uint32_t));
        clip.frames.push_back(std::move(img));
        previous = frame.get();
    }
    return clip;
}

AnimationControl::AnimationControl(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!m_clip.frames.empty())
            showFrame((m_frame + 1) % static_cast<int>(m_clip.frames.size()));
    });
}

void AnimationControl::open(const std::filesystem::path& file) {
    AviClip clip = readAviClip(file);
    stop();
    m_clip = std::move(clip);
    m_timer.setInterval(m_clip.frameMs);
    showFrame(0);
}

void AnimationControl::close() {
    stop();
    m_clip = {};
    m_frame = 0;
    clear();
}

void AnimationControl::play() {
    if (!m_clip.frames.empty())
        m_timer.start();
}

void AnimationControl::stop() {
    m_timer.stop();
}

void AnimationControl::showFrame(int index) {
    m_frame = index;
    setPixmap(QPixmap::fromImage(m_clip.frames[static_cast<size_t>(index)]));
}

} // namespace levora
