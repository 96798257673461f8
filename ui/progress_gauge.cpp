#include "ui/progress_gauge.h"

#include <algorithm>

namespace tovelin {

ProgressGauge::ProgressGauge(QWidget* parent) : QProgressBar(parent)
{
    setTextVisible(false);
    apply();
}

void ProgressGauge::setMax(int max)
{
    if (max < 0) {
        return;
    }
    m_max = max;
    apply();
}

void ProgressGauge::setPosition(int position)
{
    m_position = position;
    apply();
}

void ProgressGauge::apply()
{
    // QProgressBar repaints at once on every step; a fast transfer's thousands of steps
    // would hold the window up. With updates off it is drawn at the next paint instead.
    setUpdatesEnabled(false);
    if (m_max == 0) {
        setRange(0, 1);
        setValue(0);
    } else {
        setRange(0, m_max);
        setValue(std::clamp(m_position, 0, m_max));
    }
    setUpdatesEnabled(true);
    emit changed(m_max, m_position);
}

} // namespace tovelin
