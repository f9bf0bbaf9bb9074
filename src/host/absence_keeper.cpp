#include "host/absence_keeper.h"

#include <exception>
#include <string>

#include "host/absence_board.h"
#include "host/absence_rules.h"
#include "host/admin_audit.h"
#include "host/server_parts.h"
#include "host/wall_clock_step.h"
#include "stores/date_time.h"
#include "stores/stores.h"

namespace zv {

namespace {

constexpr const char* kWho = "the planned absences";

}  // namespace

TAbsenceKeeper::TAbsenceKeeper(TServerParts& parts, TServerContext& context)
    : parts_(parts),
      context_(context),
      step_(std::make_unique<TWallClockStep>(
          parts, [this](std::time_t now) { runDue(now); },
          // Absences also end and go: looked at again within the hour anyway.
          [this](std::time_t now) { return nextStart_.value_or(now + TWallClockStep::kLookAgainWithin); },
          TWallClockTexts{"The planned absences cannot keep their times: ",
                          "Absences are put on the board only at the next start of the server.",
                          "The planned absences could not be brought to the board: "})) {}

TAbsenceKeeper::~TAbsenceKeeper() { stop(); }

void TAbsenceKeeper::start() { step_->start(); }

void TAbsenceKeeper::stop() { step_->stop(); }

void TAbsenceKeeper::scheduleChanged() { step_->runSoon(); }

void TAbsenceKeeper::runDue(std::time_t now) {
    if (!parts_.serving) return;
    TSCHEDList& schedule = parts_.stores.schedule();
    const TWIWOList& board = parts_.stores.board();
    const TScheduleWork work = scheduleWorkAt(
        schedule, now, [&board](const TSCHEDNode& applied) { return absenceHoldsBoard(board, applied); });
    nextStart_ = work.nextStart;
    // What ended a day ago goes at most once an hour: a removal writes the
    // whole file, the other changes only their records.
    std::vector<std::uint64_t> remove;
    if (!work.remove.empty() && (lastRemoval_ == 0 || now - lastRemoval_ >= kRemoveEvery)) {
        remove = work.remove;
        lastRemoval_ = now;
    }
    if (work.apply.empty() && work.skip.empty() && work.endOpen.empty() && remove.empty()) return;

    // The records to change, lent by their places.
    const auto lend = [&schedule](std::uint64_t serial) -> TSCHEDNode* {
        for (int i = 0; i < schedule.getCount(); ++i) {
            if (std::as_const(schedule).getNode(i).serial == serial) return &schedule.getNode(i);
        }
        return nullptr;
    };
    std::string applied;
    for (const std::uint64_t serial : work.apply) {
        TSCHEDNode* absence = lend(serial);
        if (!absence) continue;
        if (!putAbsenceOnBoard(context_, *absence)) {
            remove.push_back(serial);  // its account is gone
            continue;
        }
        absence->State = schedule::kApplied;
        applied += (applied.empty() ? "" : ", ") + auditQuoted(absence->Employee) + " (" +
                   auditQuoted(absence->Status) + " planned by " + auditQuoted(absence->PlannedBy) + ")";
    }
    for (const std::uint64_t serial : work.skip) {
        if (TSCHEDNode* absence = lend(serial)) absence->State = schedule::kSkipped;
    }
    for (const std::uint64_t serial : work.endOpen) {
        if (TSCHEDNode* absence = lend(serial)) absence->Until = datetime::utcStampText(now);
    }
    schedule.deleteSerials(remove);
    parts_.stores.saveSchedule();
    if (!applied.empty()) auditAdminChange(parts_.view, kWho, "put on the board: " + applied);
}

}  // namespace zv
