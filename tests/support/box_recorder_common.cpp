#include "tests/support/box_recorder.h"

std::string Describe(const std::vector<RecordedBox> &boxes)
{
    std::string text;
    for (const RecordedBox &box : boxes)
        text += "[" + box.caption + ": " + box.text + "] ";
    return boxes.empty() ? "no box" : text;
}
