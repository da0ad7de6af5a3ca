// Choosing the board a command drives: the real one, identified by the
// product name it reports or named with --type, or a simulated one
// (--simulate TYPE|PRODUCT) whose hardware model answers the ports.
#pragma once

#include "board/Simulator.h"
#include "cli/Command.h"

#include <memory>
#include <string>

namespace bypassctl {

struct Board {
    int type = kIdentify; // known before identification: --type, or --simulate TYPE
    std::unique_ptr<BoardSimulator> simulator;
};

// The board of --type and --simulate; unknown ones end the command with
// exit 2 before any port is touched.
Board ChooseBoard(const Options& options);

// Makes this process use the appliance of --appliance, or else of
// BYPASSTOOL_APPLIANCE, unless --simulate names a board of its own. Exit 3
// when it does not answer, exit 2 with both --appliance and --simulate.
void UseApplianceOf(const Options& options);

// The type whose tool serves the board: as given, or identified (exit 4
// when the board's product is not in the catalogue).
int ResolveType(const Board& board);

// With --type, where the board reports the product of another type: the
// warning that says so; empty otherwise.
std::string OtherProductWarning(const Options& options, const Board& board);

// How the board's ports are reached: a simulated board, an appliance's
// socket, or the platform's path, the one in use once opened or the one an
// opening would take.
std::string PortPathText(const Options& options, const Board& board, bool opened);

// The product name the board reports.
std::string ReportedProduct();

// Why a board that reports product is not identified: its name is missing
// (on Linux, which file), or it is not in the catalogue.
std::string UnknownBoardText(const std::string& product);

// The catalogue's description of type, in UTF-8; empty for no row.
std::string Description(int type);

} // namespace bypassctl
