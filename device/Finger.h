#pragma once
// A finger that touches the frame when no person does: the simulated
// frame's, which start-up installs beside its transport (--simulate). The
// mouse moves it on the windows a person touches, and tovrin-cli lets it
// touch the targets by itself. A real frame has none: finger() is null and
// everything that asks for one does its job without.

#include <QPointF>
#include <QSize>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace tovrin::device {

class Finger {
public:
    virtual ~Finger() = default;

    // The screen the frame is mounted on, in pixels; every point below is a
    // pixel of it.
    virtual void setScreen(int width, int height) = 0;
    virtual QSize screen() const = 0;

    virtual void press(double x, double y) = 0;
    virtual void move(double x, double y) = 0;
    virtual void lift() = 0;
    virtual bool isDown() const = 0;

    // From now on the finger touches each target the frame is asked for by
    // itself.
    virtual void touchTargetsByItself() = 0;

    // The shortcut keys printed on the frame's border: for each edge (1
    // left, 2 right, 3 bottom, 4 top) the number of keys of each group.
    using EdgeGroups = std::array<std::vector<int>, 4>;
    virtual bool hasPrintedKeys() const = 0;
    virtual void printKeys(const EdgeGroups& groups) = 0;
    // A point of printed key `number` (from 1) of an edge, given as a
    // fraction of the key's width and height; nothing where no such key is
    // printed.
    virtual std::optional<QPointF> keyPoint(int edge, int number, double fx, double fy) const = 0;
};

// Installs the finger of the frame behind the link (nullptr: none).
void setFinger(std::shared_ptr<Finger> finger);
std::shared_ptr<Finger> finger();

} // namespace tovrin::device
