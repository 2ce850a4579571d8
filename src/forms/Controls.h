#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qmpvx {

// The controls a window's logic works on. Each is the state it shows: reads give
// back what was last set or what the user did; writes take effect at once.

class Button {
public:
    virtual ~Button() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view caption) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

// 0 unticked, 1 ticked, 2 greyed.
using TickValue = std::int16_t;

class TickBox {
public:
    virtual ~TickBox() = default;
    virtual TickValue value() const = 0;
    // Throws std::invalid_argument for anything but 0, 1 or 2.
    virtual void setValue(TickValue value) = 0;
};

// Logic counts a tick box as ticked only when its value is exactly 1.
inline bool isTicked(const TickBox& box) { return box.value() == 1; }

class TextField {
public:
    virtual ~TextField() = default;
    // UTF-8. A text set that is not valid UTF-8 is shown as well as the field
    // can, and handed back byte for byte until the user changes it.
    virtual std::string text() const = 0;
    virtual void setText(std::string_view text) = 0;
};

class Label {
public:
    virtual ~Label() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view caption) = 0;
};

// While enabled, ticks every interval counted from the moment it was enabled;
// enabling a disabled timer starts a fresh interval.
class Timer {
public:
    virtual ~Timer() = default;
    virtual int interval() const = 0;  // milliseconds
    virtual void setInterval(int milliseconds) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

// A top-level window. Geometry is the outer frame in twips (1/1440 inch).
class Window {
public:
    virtual ~Window() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view caption) = 0;
    virtual float left() const = 0;
    virtual float top() const = 0;
    virtual float width() const = 0;
    virtual float height() const = 0;
    virtual void setLeft(float twips) = 0;
    virtual void setTop(float twips) = 0;
    virtual void setWidth(float twips) = 0;
    virtual void setHeight(float twips) = 0;
    // Runs the window's close operation, then destroys it.
    virtual void close() = 0;
};

} // namespace qmpvx
