#include "boxes.h"

#include <exception>
#include <string>

#include "app_window.h"
#include "conversions.h"

namespace qh::win {

void ShowInformation(std::string_view utf8Text) {
    ModalScope scope;
    OtherWindowsDisabled others(nullptr);
    MessageBoxW(BoxOwner(), Widen(utf8Text).c_str(), Widen(AppTitle).c_str(), MB_OK);
}

bool Confirm(std::string_view utf8Text, std::string_view utf8Title) {
    ModalScope scope;
    OtherWindowsDisabled others(nullptr);
    return MessageBoxW(BoxOwner(), Widen(utf8Text).c_str(), Widen(utf8Title).c_str(),
                       MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

void ReportCurrentException() noexcept {
    try {
        std::string message;
        try {
            throw;
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
            message = "Unknown failure";
        }
        // A program that sent us the failing message must not wait for the box.
        ReplyMessage(0);
        LaterWindowScope later;
        OtherWindowsDisabled others(nullptr);
        MessageBoxW(BoxOwner(), MessageText(FailureBoxText(message)).c_str(),
                    Widen(AppTitle).c_str(), MB_OK | MB_ICONSTOP);
    } catch (...) {
        // Nothing is left to tell the user with.
    }
}

}  // namespace qh::win
