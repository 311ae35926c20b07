// obtool check [--repair]: the card check from the command line.
//
// Without --repair it prints one line per problem and changes nothing. With --repair
// it prints each problem, then each change ("repaired: ..."), then checks the card a
// second time and prints what is still wrong ("remains: ..."), which is damage that
// repair leaves alone on purpose (overlapping runs, runs outside the data area, names
// without terminator: mending those would mean choosing which file's bytes are right).
//
// A volume whose superblock is intact but not laid out as the formatter lays it out
// is reported and left alone, with or without --repair.
//
// Card names in the lines are quoted and escaped, so no name reaches the terminal raw.
//
// Exit status: 0 when the card is clean (after --repair: when the second check is
// clean), 1 otherwise — problems found, problems that repair could not mend, no
// volume on the drive, or bad arguments.
#include "cli/obtool_commands.h"
#include "cli/obtool_json.h"
#include "common/printable_name.h"
#include "maintenance/card_check.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void print_lines(const std::vector<std::string>& lines, const char* prefix) {
    for (const std::string& line : lines) std::printf("%s%s\n", prefix, line.c_str());
}

const char* plural(size_t n) { return n == 1 ? "" : "s"; }

Json problems_json(const CardCheckReport& report) {
    Json problems = Json::array();
    for (size_t k = 0; k < report.records.size() && k < report.problems.size(); ++k) {
        const CheckProblem& p = report.records[k];
        problems.push_back({{"kind", p.kind},
                            {"slot", p.slot >= 0 ? Json(p.slot) : Json(nullptr)},
                            {"name", p.slot >= 0 || !p.name.empty() ? Json(printable_name(p.name)) : Json(nullptr)},
                            {"repair", p.repair ? Json(p.repair) : Json(nullptr)},
                            {"text", report.problems[k]}});
    }
    return problems;
}

// check --json: the first check's problems, and after --repair the changes made and
// what the second check still finds; "clean" is the card's state at the end.
int check_as_json(uint8_t drive, bool repair) {
    const CardCheckReport first = check_card(drive, repair);
    Json doc{{"volume_found", first.volume_found}, {"layout_departs", first.layout_departs},
             {"problems", problems_json(first)}};
    bool clean = first.clean();
    if (repair && first.volume_found && !first.clean()) {
        doc["repairs"] = first.repairs;
        const CardCheckReport second = check_card(drive, false);
        doc["remaining"] = problems_json(second);
        clean = second.clean();
    }
    doc["clean"] = clean;
    print_json(doc);
    return clean ? 0 : 1;
}

int cmd_check(ObtoolContext& ctx) {
    const bool json = take_json_option(ctx.args);
    bool repair = false;
    for (const std::string& a : ctx.args) {
        if (a == "--repair")
            repair = true;
        else if (a == "--")
            continue;
        else
            return obtool_fail("usage: check [--repair] [--json]");
    }
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    if (json) return check_as_json(drive, repair);

    const CardCheckReport first = check_card(drive, repair);
    print_lines(first.problems, "");
    if (!first.volume_found) {
        if (first.layout_departs)
            std::printf("the volume is not laid out as the formatter lays it out: nothing else was "
                        "examined and nothing was changed\n");
        else
            std::printf("no volume to check\n");
        return 1;
    }
    if (first.clean()) {
        std::printf("the card is clean\n");
        return 0;
    }
    if (!repair) {
        std::printf("%zu problem%s found (obtool check --repair mends what it can)\n", first.problems.size(),
                    plural(first.problems.size()));
        return 1;
    }
    print_lines(first.repairs, "repaired: ");
    const CardCheckReport second = check_card(drive, false);
    if (second.clean()) {
        std::printf("%zu problem%s found, %zu change%s made; the card is clean now\n", first.problems.size(),
                    plural(first.problems.size()), first.repairs.size(), plural(first.repairs.size()));
        return 0;
    }
    print_lines(second.problems, "remains: ");
    std::printf("%zu problem%s remain%s that repair does not mend\n", second.problems.size(),
                plural(second.problems.size()), second.problems.size() == 1 ? "s" : "");
    return 1;
}

}  // namespace

OBTOOL_COMMAND("check", "check [--repair] [--json]",
               "check the card's volume; --repair mends what it can without touching file bytes",
               cmd_check);
