#include "cli/console_services.h"

#include <charconv>
#include <istream>
#include <ostream>
#include <string>

namespace auralune {

ConsoleAlertPresenter::ConsoleAlertPresenter(std::ostream& err, Log& log, std::istream* terminal)
    : err_(err), log_(log), terminal_(terminal)
{
}

AlertAnswer ConsoleAlertPresenter::run(const Alert& alert)
{
    // The file it is about, so that an answer is never given blind.
    const std::string heading = alert.subject.empty() ? alert.message : alert.message + " (" + alert.subject + ")";
    if (!terminal_) {
        const std::string answer = alert.buttons.empty() ? std::string("OK") : alert.buttons.front();
        log_.info("Dialog answered with its default button \"" + answer + "\": " + alert.informativeText);
        err_ << heading << ": " << alert.informativeText << " (answered: " << answer << ")\n";
        return {};
    }
    // A live progress line may be showing: start on a line of our own.
    err_ << '\n' << heading << ": " << alert.informativeText << '\n';
    AlertAnswer answer;
    answer.button = askButton(alert);
    if (!alert.suppressionTitle.empty())
        answer.suppressed = askYesNo(alert.suppressionTitle);
    return answer;
}

int ConsoleAlertPresenter::askButton(const Alert& alert)
{
    if (alert.buttons.size() < 2)
        return 0;
    for (std::size_t i = 0; i < alert.buttons.size(); ++i)
        err_ << "  " << i + 1 << ") " << alert.buttons[i] << (i == 0 ? " (default)" : "") << '\n';
    for (;;) {
        err_ << "Choice [1]: " << std::flush;
        std::string line;
        if (!std::getline(*terminal_, line) || line.empty())
            return 0;
        std::size_t choice = 0;
        const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), choice);
        if (ec == std::errc() && end == line.data() + line.size() && choice >= 1 && choice <= alert.buttons.size())
            return static_cast<int>(choice - 1);
        for (std::size_t i = 0; i < alert.buttons.size(); ++i)
            if (line == alert.buttons[i])
                return static_cast<int>(i);
    }
}

bool ConsoleAlertPresenter::askYesNo(const std::string& question)
{
    err_ << question << "? [y/N]: " << std::flush;
    std::string line;
    if (!std::getline(*terminal_, line))
        return false;
    return line == "y" || line == "Y" || line == "yes" || line == "Yes";
}

}  // namespace auralune
