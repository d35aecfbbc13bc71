#pragma once

#include <QColor>

// Colours that stay readable on a given background, by the contrast ratio of the Web Content
// Accessibility Guidelines: 4.5:1 is what normal text needs.
class ReadableColour
{
public:
    static constexpr double textContrast = 4.5;

    // From 0 for black to 1 for white, as the eye weighs the sRGB channels.
    [[nodiscard]] static double relativeLuminance(const QColor &colour);
    // From 1 for equal luminance to 21 for black on white, whichever is the lighter.
    [[nodiscard]] static double contrast(const QColor &one, const QColor &other);
    // The colour itself when it is readable on the background, otherwise its nearest shade towards
    // black or white, whichever stands out more there. There always is one: on any background,
    // black or white reaches at least 4.58:1.
    [[nodiscard]] static QColor on(const QColor &background, const QColor &colour, double ratio = textContrast);
};
