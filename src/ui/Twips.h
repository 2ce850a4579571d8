#pragma once

#include <algorithm>
#include <cmath>
#include <optional>

namespace qmpvx::ui {

inline constexpr double kTwipsPerInch = 1440.0;

// X11 coordinates and sizes are 16-bit, and Windows keeps to the same range:
// anything further is saturated rather than wrapped, so an odd stored value
// cannot throw the window somewhere random.
inline constexpr double kLowestPixel = -32768.0;
inline constexpr double kHighestPixel = 32767.0;

inline int twipsToPixels(double twips, double dotsPerInch)
{
    const double pixels = std::round(twips * dotsPerInch / kTwipsPerInch);
    return static_cast<int>(std::clamp(pixels, kLowestPixel, kHighestPixel));
}

inline float pixelsToTwips(int pixels, double dotsPerInch)
{
    return static_cast<float>(pixels * kTwipsPerInch / dotsPerInch);
}

// A window coordinate as it was last set in twips. While its pixels are as
// that set left them, the twips set are the value, so that twips which fall
// between pixels survive a save without drifting.
class RememberedTwips {
public:
    void remember(int pixels, float twips) { remembered_ = Remembered{pixels, twips}; }
    std::optional<float> recall(int pixels) const
    {
        return remembered_ && remembered_->pixels == pixels ? std::optional(remembered_->twips) : std::nullopt;
    }

private:
    struct Remembered {
        int pixels;
        float twips;
    };
    std::optional<Remembered> remembered_;
};

} // namespace qmpvx::ui
