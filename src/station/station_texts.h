// The station's fixed texts, shared by the main window and the screens.
// Line breaks are a line feed followed by a carriage return where the
// station's messages have always used them.
#pragma once

namespace station::texts {

// Captions.
inline constexpr char kCaptionError[] = "Ошибка";
inline constexpr char kCaptionErrorDots[] = "Ошибка...";
inline constexpr char kCaptionAttention[] = "Внимание!";

// Start-up and audio.
inline constexpr char kWrongAudioVersion[] = "Была загружена некорректная версия библиотеки BASS.DLL";
inline constexpr char kAudioDeviceFailed[] =
    "Невозможно запустить устройство аудиозаписи.\n\rПроверьте подключение гарнитуры с микрофоном";
inline constexpr char kRecordStartFailed[] =
    "Невозможно начать запись. Возможно работу приложения блокирует антивирус";
inline constexpr char kEncoderStartFailed[] =
    "Невозможно запустить процесс сжатия аудиозаписи...\nПроверьте наличие файла OGGENC.EXE в рабочем каталоге";
inline constexpr char kAudioErrorCode[] = "\n(Код ошибки: %1)";
inline constexpr char kNoRecordingDevice[] = "Нет готового устройства аудио-записи";
// A file or folder the station could not make or write; %1 is its whole
// path, %2 the reason (write_failure_text.h).
inline constexpr char kCannotCreateFile[] = "Невозможно создать файл \"%1\".\n\rПричина: %2";
inline constexpr char kCannotCreateFolder[] = "Невозможно создать папку \"%1\".\n\rПричина: %2";
inline constexpr char kCannotWriteFile[] = "Невозможно записать файл \"%1\".\n\rПричина: %2";
// Good materials that cannot be unpacked into the working folder; %1 names
// the file, %2 the reason.
inline constexpr char kUnpackedMaterialsNotWritten[] =
    "Невозможно записать распакованный КИМ в рабочую папку (файл %1).\n\rПричина: %2";

// Exam clock.
inline constexpr char kClockPrefix[] = "Оставшееся на выполнение работы время: ";
inline constexpr char kTwentyMinutesLeft[] =
    "До окончания работы осталось 20 минут.\n\rПерейдите к выполнению устной части (задания 5 и 6)";

// Code entry and spoken code.
inline constexpr char kStopStationQuestion[] = "Завершить работу на станции?";
inline constexpr char kBadParticipantCode[] = "Некорректный код участника!";
inline constexpr char kCodeMustHave4Digits[] = "Код участника должен состоять из 4 цифр";
inline constexpr char kCodeAlreadyAnswered[] = "Участник с таким кодом уже отвечал на данной станции";
inline constexpr char kSpokenCodeProblem[] =
    "Пригласите организатора в аудитории и сообщите о проблеме записи кода участника.";

// Timed frames.
inline constexpr char kEndTaskQuestion[] = "Вы уверены, что хотите завершить выполнение задания?";
inline constexpr char kEndBreakQuestion[] = "Вы уверены, что хотите завершить перерыв?";
inline constexpr char kEndPreparationQuestion[] = "Завершить подготовку к заданию?";
inline constexpr char kTickFailedNotice[] = "Error";
inline constexpr char kSecondsSuffix[] = " сек.";

// Answer review.
inline constexpr char kTimeIsOver[] = "Время на выполнение заданинй истекло";

}  // namespace station::texts
