// ZRNShowDescription: the checks of a show's data.
#include "show/zrn_show.h"

#include <cstdio>

std::vector<int32_t> ZRNShowDescription::GetSwitchTicks() const {
    std::vector<int32_t> ticks;
    for (const ZRNShowChapter& chapter : chapters) {
        ticks.push_back(chapter.endTick);
    }
    return ticks;
}

int32_t ZRNShowDescription::GetAnimationTicksPerSecond() const {
    if (animationTicksPerSecond > 0) {
        return animationTicksPerSecond;
    }
    return tickMs > 0 ? (1000 + tickMs / 2) / tickMs : 1;
}

namespace {

// A JSON string: quotes, backslashes and control characters escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string ZRNShowDescription::GetPageInfo() const {
    std::string json = "{\"title\":" + Quoted(title) + ",\"tickMs\":" + std::to_string(tickMs) + ",\"endTick\":" + std::to_string(GetEndTick()) +
                       ",\"chapters\":[";
    const ZRNShowTimeline timeline = GetTimeline();
    for (int32_t i = 0; i < timeline.GetSceneCount(); ++i) {
        json += (i > 0 ? "," : "");
        json += "{\"name\":" + Quoted(chapters[static_cast<size_t>(i)].name) +
                ",\"tick\":" + std::to_string(timeline.GetStartTick(i)) + "}";
    }
    return json + "]}";
}

std::string ZRNShowDescription::Check() const {
    if (program.empty()) {
        return "the show has no program name";
    }
    if (!music) {
        return program + ": the show has no music";
    }
    if (chapters.empty()) {
        return program + ": the show has no scenes";
    }
    if (gapSteps < 2) {
        // The first step of a gap deletes the old scene and the last installs the next.
        return program + ": the switch gap must be two frame steps or more";
    }
    if (tickMs < 1 || tickMs > 1000) {
        return program + ": the tick length must be 1 to 1000 ms, not " + std::to_string(tickMs);
    }
    if (animationTicksPerSecond < 0 || animationTicksPerSecond > 100000) {
        return program + ": the animators' ticks a second must be 0 (the tick's own rate) to 100000, not " +
               std::to_string(animationTicksPerSecond);
    }
    int32_t previous = 0;
    for (const ZRNShowChapter& chapter : chapters) {
        if (chapter.endTick <= previous) {
            return program + ": scene \"" + chapter.name + "\" ends at tick " + std::to_string(chapter.endTick) +
                   ", not after tick " + std::to_string(previous);
        }
        if (!chapter.create) {
            return program + ": scene \"" + chapter.name + "\" has no maker";
        }
        previous = chapter.endTick;
    }
    if (width <= 0 || height <= 0) {
        return program + ": the picture's size must be above none";
    }
    return std::string();
}
