#pragma once

#include <QProgressBar>

namespace tovelin {

// A progress bar driven by a maximum and a position, as the transfer events give them.
// A maximum of 0 shows an empty bar (Qt alone would show a busy animation), a maximum
// below 0 is refused, and a position outside 0..maximum is drawn clamped.
class ProgressGauge : public QProgressBar
{
    Q_OBJECT

public:
    explicit ProgressGauge(QWidget* parent = nullptr);

    int Max() const { return m_max; }
    int Position() const { return m_position; }
    void setMax(int max);
    void setPosition(int position);

signals:
    // After every assignment of the maximum or the position, with both values.
    void changed(int max, int position);

private:
    void apply();

    int m_max = 100;
    int m_position = 0;
};

} // namespace tovelin
