#pragma once

#include <QLabel>
#include <QString>

#include <cstdint>
#include <string_view>

namespace lumenveil::ui {

// What the capacity label says about a text and a picture.
struct CapacityReport
{
    QString text;         // "N of M characters"; empty while no picture is loaded
    bool refused = false; // Embed would refuse the text: too long, or not storable
    QString why;          // the reason, as the codec words it; empty unless refused
};

// The report for `hidden` (the text as it would be hidden) in a picture of width x height
// pixels; a picture of 0 x 0 stands for none. N counts as the codec counts, so a line break
// is two characters.
[[nodiscard]] CapacityReport DescribeCapacity(std::u16string_view hidden, int width, int height);

// The read-only label right of Load Image that shows a CapacityReport: red, with the reason
// as its tooltip, when the text would be refused. Its font shrinks, down to a floor, so that
// large figures still fit its small strip.
class CapacityLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit CapacityLabel(QWidget* parent = nullptr);

    void Show(const CapacityReport& report);

private:
    void FitFont();
};

} // namespace lumenveil::ui
