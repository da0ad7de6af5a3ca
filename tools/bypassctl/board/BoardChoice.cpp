#include "board/BoardChoice.h"

#include "platform/ApplianceSocket.h"
#include "platform/Process.h"
#include "platform/TextConv.h"

#include "framework/BypassInfo.h"
#include "framework/BypassToolManager.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace bypassctl {
namespace {

bool IsToolType(int type) { return type >= 0 && find_bypass_info(type) != nullptr; }

std::string AllowedTypes()
{
    std::string list;
    for (const bypass_info& row : g_bypass_info_array) {
        if (!IsToolType(row.type))
            continue;
        list += (list.empty() ? "" : ", ") + std::to_string(row.type);
    }
    return list;
}

const bypass_info* FindRowByProduct(const std::string& product)
{
    for (const bypass_info& row : g_bypass_info_array) {
        if (IsToolType(row.type) && row.board_name[0] != '\0' && product == row.board_name)
            return &row;
    }
    return nullptr;
}

// A number of at most nine digits, which always fits an int.
bool IsWholeNumber(const std::string& text)
{
    const std::size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
    return text.size() > start && text.size() - start <= 9
        && std::all_of(text.begin() + static_cast<long>(start), text.end(),
            [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// The catalogue row whose hardware --simulate names, by type or product.
const bypass_info& SimulatedRow(const std::string& simulate)
{
    if (IsWholeNumber(simulate)) {
        const int type = std::stoi(simulate);
        if (!IsToolType(type))
            throw CommandError{kExitUsage,
                "cannot simulate unknown board type " + simulate + "; allowed: " + AllowedTypes()
                    + ", or a product name from bypassctl list"};
        return *find_bypass_info(type);
    }
    if (const bypass_info* row = FindRowByProduct(simulate))
        return *row;
    throw CommandError{kExitUsage,
        "cannot simulate unknown product \"" + simulate
            + "\"; allowed: a product name or type from bypassctl list"};
}

} // namespace

Board ChooseBoard(const Options& options)
{
    UseApplianceOf(options);
    if (options.type != kIdentify && !IsToolType(options.type))
        throw CommandError{kExitUsage,
            "unknown board type " + std::to_string(options.type) + "; allowed: " + AllowedTypes()
                + " (see bypassctl list)"};
    Board board;
    board.type = options.type;
    if (options.simulate.empty())
        return board;
    const bypass_info& row = SimulatedRow(options.simulate);
    // Named by type, the simulated board also gives the tool's type.
    if (board.type == kIdentify && IsWholeNumber(options.simulate))
        board.type = row.type;
    // The hardware is the simulated board's even when --type picks another tool.
    board.simulator = std::make_unique<BoardSimulator>(row.type, row.board_name);
    return board;
}

void UseApplianceOf(const Options& options)
{
    if (!options.appliance.empty() && !options.simulate.empty())
        throw CommandError{kExitUsage, "--appliance and --simulate both name a board; give one"};
    if (!options.simulate.empty())
        return;
    const char* variable = std::getenv("BYPASSTOOL_APPLIANCE");
    const std::string path = options.appliance.empty() && variable ? variable : options.appliance;
    if (!path.empty() || variable)
        try {
            ConnectAppliance(path);
        } catch (const ApplianceSocketError& error) {
            throw CommandError{
                error.kind == ApplianceSocketError::Kind::Silent ? kExitNoPortAccess : kExitUsage,
                error.message};
        }
}

// --type skips identification, not the board's product: a board that
// reports the product of another type has that type's hardware, which the
// named tool may not drive (a simulated board reports its own).
std::string OtherProductWarning(const Options& options, const Board& board)
{
    if (options.type == kIdentify)
        return "";
    const std::string product
        = board.simulator ? SimulatedRow(options.simulate).board_name : ReportedProduct();
    const bypass_info* row = FindRowByProduct(product);
    if (!row || row->type == options.type)
        return "";
    return "--type " + std::to_string(options.type) + " on a board that reports product \""
        + product + "\", which is board type " + std::to_string(row->type) + ": the tool of type "
        + std::to_string(options.type)
        + " may not drive this hardware, and what it reports may not have happened";
}

std::string PortPathText(const Options& options, const Board& board, bool opened)
{
    if (board.simulator)
        return "simulated board (no ports)";
    const char* variable = std::getenv("BYPASSTOOL_APPLIANCE");
    if (!options.appliance.empty() || variable)
        return "appliance socket " + (options.appliance.empty() ? variable : options.appliance);
    return opened ? PortPathInUse() : PortPathToBeUsed();
}

std::string ReportedProduct()
{
    std::string product;
    CBypassToolManager::GetProductNameFromMainBoard(product);
    return product;
}

int ResolveType(const Board& board)
{
    if (board.type != kIdentify)
        return board.type;
    const int type = GetHostBypassType();
    if (type < 0)
        throw CommandError{kExitUnsupported, UnknownBoardText(ReportedProduct())};
    return type;
}

std::string UnknownBoardText(const std::string& product)
{
    const char* const hint = "; give --type N if you know its type";
    if (!product.empty())
        return "this board's product \"" + product + "\" is not in the catalogue" + hint;
    return NoProductNameText() + hint;
}

std::string Description(int type)
{
    const bypass_info* row = find_bypass_info(type);
    return row ? GbkToUtf8(row->description) : std::string();
}

} // namespace bypassctl
