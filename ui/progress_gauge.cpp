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
    if (m_max == 0) {
        setRange(0, 1);
        setValue(0);
    } else {
        setRange(0, m_max);
        setValue(std::clamp(m_position, 0, m_max));
    }
    emit changed(m_max, m_position);
}

} // namespace tovelin
