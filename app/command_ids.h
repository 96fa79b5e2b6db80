// The command identifiers of the main window. Menu items carry them, other
// parts of the program post them to the main window (run a batch, close,
// connect, disconnect), and the dispatcher maps each one to its handler.
#pragma once

#include <array>

namespace cfg::cmd {

inline constexpr int Exit = 40010;
inline constexpr int About = 40011;
inline constexpr int StartUp = 40012;
inline constexpr int TerminalList = 40013;
inline constexpr int DownloadFirmware = 40014;
inline constexpr int Connect = 40022;
inline constexpr int Acquire = 40023;
inline constexpr int Retrieve = 40025;
inline constexpr int SendDateTime = 40028;
inline constexpr int ReadDateTime = 40029;
inline constexpr int Disconnect = 40030;
inline constexpr int Reset = 40031;
inline constexpr int RunBatch = 40034;
inline constexpr int Parameters = 40036;
inline constexpr int AccessPolicies = 40037;
inline constexpr int Sirens = 40038;
inline constexpr int ExitDirection = 40039;
inline constexpr int UserMessages = 40040;
inline constexpr int Users = 40041;
inline constexpr int BatchEditor = 40042;
inline constexpr int ChooseBatch = 40043;
inline constexpr int FirmwareVersion = 40044;
inline constexpr int AddressSpeed = 40045;
inline constexpr int ResetDefaults = 40046;
inline constexpr int RecordCount = 40047;
inline constexpr int Status = 40048;
inline constexpr int ConfigureArchives = 40049;
inline constexpr int Justifications = 40050;
inline constexpr int OutputCommand = 40051;
inline constexpr int MemoryView = 40053;
inline constexpr int EraseRecords = 40054;
inline constexpr int ProductionProgram = 40055;
inline constexpr int ProductionTables = 40056;
inline constexpr int ProductionAcquire = 40057;
inline constexpr int ProductionRetrieve = 40058;
inline constexpr int Holidays = 40059;
inline constexpr int Fingerprints = 40060;
inline constexpr int ProductionCount = 40061;
inline constexpr int ProductionArchives = 40062;
inline constexpr int Formats = 40063;
inline constexpr int CanteenArchives = 40064;
inline constexpr int CanteenAcquire = 40065;
inline constexpr int CanteenRetrieve = 40066;
inline constexpr int CanteenCount = 40067;
inline constexpr int CardsAt = 40069;
inline constexpr int Activities = 40071;
inline constexpr int StartScheduling = 40072;
inline constexpr int StopScheduling = 40073;
inline constexpr int FirmwareReader1 = 40075;
inline constexpr int FirmwareReader2 = 40076;
inline constexpr int Polling = 40077;
inline constexpr int DirectCommand = 40078;
inline constexpr int CardsA = 40079;
inline constexpr int CardsB = 40080;
inline constexpr int Logo = 40081;
inline constexpr int RecoverableCount = 40082;
inline constexpr int BluetoothList = 40085;
inline constexpr int UsbList = 40087;
inline constexpr int PlantPassword = 40089;
inline constexpr int ReaderId = 40092;
inline constexpr int Sites = 40095;
inline constexpr int JobActivities = 40096;

// Every command of the command table, menu entry or not.
inline constexpr std::array kAll = {
    Exit, About, StartUp, TerminalList, DownloadFirmware, Connect, Acquire, Retrieve,
    SendDateTime, ReadDateTime, Disconnect, Reset, RunBatch, Parameters, AccessPolicies, Sirens,
    ExitDirection, UserMessages, Users, BatchEditor, ChooseBatch, FirmwareVersion, AddressSpeed,
    ResetDefaults, RecordCount, Status, ConfigureArchives, Justifications, OutputCommand,
    MemoryView, EraseRecords, ProductionProgram, ProductionTables, ProductionAcquire,
    ProductionRetrieve, Holidays, Fingerprints, ProductionCount, ProductionArchives, Formats,
    CanteenArchives, CanteenAcquire, CanteenRetrieve, CanteenCount, CardsAt, Activities,
    StartScheduling, StopScheduling, FirmwareReader1, FirmwareReader2, Polling, DirectCommand,
    CardsA, CardsB, Logo, RecoverableCount, BluetoothList, UsbList, PlantPassword, ReaderId,
    Sites, JobActivities};

// The program's own commands, beyond the command table: the desk reader
// settings ("Impostazioni Lettore da Tavolo") of the "&Lettori fissi" menu.
inline constexpr int DeskReader = 40100;
inline constexpr std::array kOwn = {DeskReader};

}  // namespace cfg::cmd
