// The models' own protocols, driven through raw port accesses: a model that
// answered a wrong sequence would hide a tool's mistake.
#include "sim/BoardModel.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>

namespace {

using namespace bypass::sim;

void Send(BoardModel& board, std::initializer_list<std::pair<std::uint16_t, std::uint8_t>> writes)
{
    for (const auto& write : writes)
        board.Out8(write.first, write.second);
}

std::uint8_t ReadRegister(BoardModel& board, std::uint16_t index, std::uint8_t reg)
{
    board.Out8(index, reg);
    return board.In8(std::uint16_t(index + 1));
}

TEST(ChipModels, W83627NeedsTwoKeysInARowAndIgnoresDataOutsideConfiguration)
{
    auto board = CreateBoardModel(6);
    Send(*board, {{0x4E, 0x87}, {0x4E, 0x01}, {0x4E, 0x87}, {0x4F, 0x00}, {0x4E, 0x87}});
    EXPECT_FALSE(board->SuperIoInConfigMode()) << "a key interrupted on either port";
    Send(*board, {{0x4E, 0x07}, {0x4F, 0x08}, {0x4E, 0xF6}, {0x4F, 0x09}});
    EXPECT_EQ(board->In8(0x4F), 0xFF);
    EXPECT_EQ(board->RuleViolations().size(), 7u) << "3 index bytes, 4 data accesses";

    Send(*board, {{0x4E, 0x87}, {0x4E, 0x87}});
    EXPECT_EQ(ReadRegister(*board, 0x4E, 0x07), 0x00) << "the data write above was ignored";
    Send(*board,
        {{0x4E, 0x07}, {0x4F, 0x08}, {0x4E, 0x30}, {0x4F, 0x01}, {0x4E, 0xF6}, {0x4F, 0x0A}});
    board->Advance(4000);
    EXPECT_EQ(ReadRegister(*board, 0x4E, 0xF6), 0x06) << "the counter counts down";
    Send(*board, {{0x4E, 0xF7}, {0x4F, 0x20}}); // force expiry
    EXPECT_EQ(ReadRegister(*board, 0x4E, 0xF7), 0x10) << "status set, force bit gone";
    EXPECT_EQ(board->Relays(), std::vector<Relay>(2, Relay::Normal))
        << "0x2D bit 0 as the firmware left it keeps the output off its pin";
    Send(*board, {{0x4F, 0x00}, {0x4F, 0x10}});
    EXPECT_EQ(board->In8(0x4F), 0x00) << "a 0 clears the status and a 1 cannot set it";
    Send(*board, {{0x4E, 0x2D}, {0x4F, 0x00}, {0x4E, 0xF6}, {0x4F, 0x01}, {0x4E, 0xAA}});
    board->Advance(1000);
    EXPECT_EQ(board->Relays(), std::vector<Relay>(2, Relay::Bypass));
}

TEST(ChipModels, Ite87KeyOrderAndLeavingThroughRegister2)
{
    auto board = CreateBoardModel(10);
    Send(*board, {{0x2E, 0x87}, {0x2E, 0x55}, {0x2E, 0x01}, {0x2E, 0x55}});
    EXPECT_FALSE(board->SuperIoInConfigMode());
    Send(*board, {{0x2E, 0x87}, {0x2E, 0x87}, {0x2E, 0x01}, {0x2E, 0x55}, {0x2E, 0x55}});
    EXPECT_TRUE(board->SuperIoInConfigMode()) << "a repeated first byte starts the key over";
    Send(*board, {{0x2E, 0x02}, {0x2F, 0x01}});
    EXPECT_TRUE(board->SuperIoInConfigMode()) << "only bit 1 of register 2 leaves";
    Send(*board,
        {{0x2E, 0x07}, {0x2F, 0x07}, {0x2E, 0x72}, {0x2F, 0x80}, {0x2E, 0x73}, {0x2F, 0x1E},
            {0x2E, 0x02}, {0x2F, 0x02}});
    EXPECT_FALSE(board->SuperIoInConfigMode());

    // The count registers hold what was programmed; expiry sets 0x71 bit 0,
    // which a write of 1 cannot set and a 0 clears.
    board->Advance(30000);
    EXPECT_FALSE(board->Watchdog().running);
    Send(*board, {{0x2E, 0x87}, {0x2E, 0x01}, {0x2E, 0x55}, {0x2E, 0x55}});
    EXPECT_EQ(ReadRegister(*board, 0x2E, 0x73), 0x1E);
    EXPECT_EQ(ReadRegister(*board, 0x2E, 0x71), 0x01);
    Send(*board, {{0x2F, 0x00}, {0x2F, 0x01}});
    EXPECT_EQ(board->In8(0x2F), 0x00);
}

TEST(ChipModels, GpioBankViewsAndLevelsOfOutputsAndInputs)
{
    auto board = CreateBoardModel(10);
    board->Out16(0x534, 0x1234);
    EXPECT_EQ(board->In8(0x535), 0x12) << "GPIO 44 made an input, 43, 45 and 46 still outputs";
    board->Out8(0x539, 0x00);
    EXPECT_EQ(board->In8(0x539), 0x00) << "outputs take the level, pulled-down inputs read 0";
    board->Out8(0x539, 0x7F);
    EXPECT_EQ(board->In8(0x539), 0x68) << "only GPIO 43, 45 and 46 are driven";
    EXPECT_EQ(board->RuleViolations().size(), 4u) << "GPIO 40-42 and 44 are no outputs, only";
    board->Out16(0x534, 0x0000);
    EXPECT_EQ(board->In8(0x539), 0x78) << "GPIO 44 an output again at the level it had";
}

TEST(ChipModels, PciMechanismOneAndTheSmbusHost)
{
    auto board = CreateBoardModel(5003);
    board->Out32(0xCF8, 0x8000FB08);
    EXPECT_EQ(board->In16(0xCFE), 0x0C05);
    board->Out8(0xCF8, 0x00); // a byte access does not reach the address latch
    EXPECT_EQ(board->In32(0xCF8), 0x8000FB08u);
    board->Out32(0xCF8, 0x8000FB44); // a register of the function the model does not hold
    EXPECT_EQ(board->In32(0xCFC), 0u);
    board->Out32(0xCF8, 0x8000FA20); // device 31, function 2: nothing there
    EXPECT_EQ(board->In32(0xCFC), 0xFFFFFFFFu);
    board->Out32(0xCF8, 0x0000FB20); // enable bit clear
    EXPECT_EQ(board->In32(0xCFC), 0xFFFFFFFFu);

    // A byte-data write to an address nobody answers, then to the controller;
    // each keeps the host busy for a while.
    // Without HST_EN (0x40 bit 0) the host runs nothing.
    board->Out32(0xCF8, 0x8000FB40);
    board->Out8(0xCFC, 0x00);
    Send(*board, {{0xF003, 0x12}, {0xF004, 0x38 << 1}, {0xF005, 0x05}, {0xF002, 0x48}});
    EXPECT_EQ(board->In8(0xF000), 0x00);
    board->Out8(0xCFC, 0x01);
    Send(*board, {{0xF002, 0x48}, {0xF000, 0x01}});
    EXPECT_EQ(board->In8(0xF000), 0x01) << "busy, which a write cannot clear";
    Send(*board, {{0xF004, 0x37 << 1}});
    EXPECT_EQ(board->RuleViolations().size(), 1u) << "the address changed while busy";
    board->Advance(1);
    EXPECT_EQ(board->In8(0xF000), 0x04);
    Send(*board, {{0xF000, 0xFF}, {0xF002, 0x48}});
    board->Advance(1);
    EXPECT_EQ(board->In8(0xF000), 0x02);
    EXPECT_EQ(board->Relays(), (std::vector<Relay>{Relay::Bypass, Relay::Normal, Relay::Bypass}));
    // A byte-data read of the register just written fills data 0.
    Send(*board, {{0xF000, 0xFF}, {0xF004, 0x37 << 1 | 1}, {0xF005, 0x00}, {0xF002, 0x48}});
    board->Advance(1);
    EXPECT_EQ(board->In8(0xF005), 0x05);
    Send(*board, {{0xF000, 0xFF}, {0xF002, 0x02}});
    EXPECT_EQ(board->In8(0xF000), 0x00) << "a kill with nothing to end";
    Send(*board, {{0xF002, 0x48}, {0xF002, 0x02}});
    EXPECT_EQ(board->In8(0xF000), 0x10) << "kill";
}

} // namespace
