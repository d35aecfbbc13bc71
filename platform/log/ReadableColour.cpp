#include "platform/log/ReadableColour.h"

#include <cmath>

namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

QColor mixed(const QColor &colour, const QColor &towards, double share)
{
    const auto mix = [share](double from, double to) { return from + (to - from) * share; };
    return QColor::fromRgbF(static_cast<float>(mix(colour.redF(), towards.redF())),
        static_cast<float>(mix(colour.greenF(), towards.greenF())),
        static_cast<float>(mix(colour.blueF(), towards.blueF())));
}

} // namespace

double ReadableColour::relativeLuminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double ReadableColour::contrast(const QColor &one, const QColor &other)
{
    const double first = relativeLuminance(one);
    const double second = relativeLuminance(other);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor ReadableColour::on(const QColor &background, const QColor &colour, double ratio)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    const QColor extreme = contrast(background, black) >= contrast(background, white) ? black : white;
    constexpr int steps = 64;
    for (int step = 0; step < steps; ++step) {
        const QColor shade = mixed(colour, extreme, double(step) / steps);
        if (contrast(background, shade) >= ratio)
            return shade;
    }
    return extreme;
}
