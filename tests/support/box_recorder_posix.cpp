#include "tests/support/box_recorder.h"

#include <tessel/ui_backend.h>

namespace {

class RecordingBackend : public tessel::ui::Backend {
public:
    explicit RecordingBackend(BoxRecorder &recorder) : recorder(recorder) {}
    int MessageBox(HWND owner, const char *text, const char *caption, UINT type) override
    {
        recorder.Add({owner, caption, text, type & MB_ICONMASK, type & MB_TYPEMASK});
        return (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }

private:
    BoxRecorder &recorder;
};

struct Capture {
    RecordingBackend backend;
    tessel::ui::Backend *previous;
};

} // namespace

BoxRecorder::BoxRecorder()
{
    auto *installed = new Capture{RecordingBackend(*this), nullptr};
    installed->previous = tessel::ui::InstallBackend(&installed->backend);
    capture = installed;
}

BoxRecorder::~BoxRecorder()
{
    auto *installed = static_cast<Capture *>(capture);
    tessel::ui::InstallBackend(installed->previous);
    delete installed;
}
