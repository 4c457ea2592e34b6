#include "sim/SimFinger.h"

#include "sim/Fingers.h"
#include "sim/KeyPanel.h"
#include "sim/SimulatedFrame.h"

namespace tovrin::sim {

namespace {

class SimFinger final : public device::Finger {
public:
    explicit SimFinger(std::shared_ptr<SimulatedFrame> frame)
        : m_frame(std::move(frame))
    {
    }

    void setScreen(int width, int height) override { fingers().setScreen(width, height); }
    QSize screen() const override { return {fingers().screenWidth(), fingers().screenHeight()}; }

    void press(double x, double y) override { fingers().press(x, y); }
    void move(double x, double y) override { fingers().move(x, y); }
    void lift() override { fingers().lift(); }
    bool isDown() const override { return fingers().position().has_value(); }

    void touchTargetsByItself() override
    {
        FingerSettings s = fingers().settings();
        s.autoTouch = true;
        fingers().configure(s);
    }

    bool hasPrintedKeys() const override { return m_frame->keyPanel().hasPrintedKeys(); }
    void printKeys(const EdgeGroups& groups) override { m_frame->keyPanel().printKeys(groups); }

    std::optional<QPointF> keyPoint(int edge, int number, double fx, double fy) const override
    {
        const auto p = m_frame->keyPanel().keyPoint(edge, number, fx, fy);
        if (!p)
            return std::nullopt;
        return QPointF(p->x, p->y);
    }

private:
    Fingers& fingers() const { return m_frame->fingers(); }

    std::shared_ptr<SimulatedFrame> m_frame;
};

} // namespace

std::shared_ptr<device::Finger> makeSimFinger(std::shared_ptr<SimulatedFrame> frame)
{
    return std::make_shared<SimFinger>(std::move(frame));
}

} // namespace tovrin::sim
