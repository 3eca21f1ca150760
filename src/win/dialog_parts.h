// Building blocks shared by our dialogs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app_window.h"
#include "boxes.h"
#include "dpi.h"
#include "handles.h"

namespace qh::win {

// The top-left corner of a window centred on the primary monitor, whose
// DPI the dialogs open at; a window larger than its work area keeps its
// title bar on it.
POINT CentredOnPrimary(int width, int height);
// Registers a dialog window class once: arrow cursor, dialog colour.
void RegisterDialogClass(const wchar_t* name, WNDPROC windowProc);
std::wstring WindowText(HWND window);
// A frame (group box or etched static) draws only its edge and the dialog
// clips its children out of its own painting: the frame then fills its
// inside itself.
void FillFrameInside(HWND frame);

// A place in a dialog's client area at 96 DPI.
struct ControlBox {
    int x, y, width, height;
};

// A Japanese font of `pixels` height at 96 DPI.
struct FontLook {
    const wchar_t* face;
    int pixels;
    int weight = FW_NORMAL;
    bool italic = false;
};

// The skeleton both our dialogs stand on: one window of their own class,
// centred on the screen and owned by the caller, with the object attached;
// the controls made at their places and fonts scaled to the DPI of the
// monitor the dialog is on, and laid out again when that DPI changes; shown
// modally, the window destroyed as the modal loop ends or when building it
// fails.
class DialogWindow {
public:
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    INT_PTR ShowModal();

protected:
    struct Frame {
        const wchar_t* className;
        const wchar_t* title;
        DWORD style, exStyle;
        ControlBox size;     // at 96 DPI; only width and height count
        bool clientSize;     // the size is the client area's, not the window's
    };

    DialogWindow();
    virtual ~DialogWindow();
    // Registers the class, creates the window and runs FormCreate; when
    // either fails the window is destroyed and the failure passes on.
    void Create(const Frame& frame, HWND owner);
    virtual void FormCreate() = 0;
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // A control at its box and in its font, both kept for the next layout.
    HWND MakeControl(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                     ControlBox box, int id, const FontLook& look);
    // The font of that look at the dialog's DPI, made on first use.
    HFONT Font(const FontLook& look);
    // Places every control made by MakeControl at its box, in its font, at
    // the dialog's DPI, which was `previousDpi`; a dialog adds what else
    // depends on the DPI.
    virtual void LayOut(int previousDpi);
    int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }

    HWND hwnd_ = nullptr;
    int dpi_;

private:
    struct Control {
        HWND hwnd;
        ControlBox box;
        FontLook look;
    };
    struct MadeFont {
        FontLook look;
        GdiObject font;
    };

    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void WMDpiChanged(int dpi, const RECT& suggested);
    void Destroy();

    // Members of the skeleton, so that they outlive the window: the window
    // is destroyed before they go, and the controls never hold a deleted font.
    std::vector<MadeFont> fonts_;
    std::vector<Control> controls_;
};

}  // namespace qh::win
