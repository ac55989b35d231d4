#pragma once
// Every text the operator reads, in one place: window titles, labels, buttons, column headings
// and the messages of the boxes. UTF-8; the widgets show them as they are, the core converts
// them to code page 1251 where its texts cross into the record's encoding. %1, %2 and %3 stand
// for what is filled in when the text is shown (format() below, or QString::arg in the widgets).
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vorda::texts {

using Text = std::string_view;

// The data source page: where the connection values came from. %1 the file's name, %2 its path.
inline constexpr Text kOriginCommandLine =
    "Значения взяты из командной строки (ODBC=…) — выбор здесь будет заменён при следующем "
    "запуске с той же командной строкой";
inline constexpr Text kOriginConnectionFile =
    "Значения взяты из: %1 (%2) — выбор здесь будет заменён при следующем запуске";
inline constexpr Text kOriginSettingsFile = "Значения взяты из файла настроек %1";
inline constexpr Text kOriginDefaults =
    "Значения по умолчанию: источник данных не назван ни в командной строке, ни в ork.ini, "
    "ни в ZEL.ini, ни в файле настроек";

// Shared by several windows.
inline constexpr Text kOk = "OK";
inline constexpr Text kCancel = "Отмена";
inline constexpr Text kBrowse = "..";

// The main dialog.
inline constexpr Text kMainTitle = "Изменение настроек системы чтения Vorda...";
inline constexpr Text kApply = "Применить";
inline constexpr Text kChannelTab = "Просмотр каналов";
inline constexpr Text kDataSourceTab = "Источник данных";
inline constexpr Text kAdditionalTab = "Дополнительно";
inline constexpr Text kSettingsUnreadable =
    "Не удалось прочитать файл настроек %1:\n%2\n\n"
    "Показаны значения по умолчанию; сохранить их в этот файл нельзя, чтобы не затереть его.";
// The line under the pages when another program changed the settings file: %1 the values,
// channels and groups taken over, each counted with its noun (counted() below).
inline constexpr Text kFileRefreshed = "Файл изменён другой программой: обновлено %1";
inline constexpr Text kFileRefreshedAsk =
    "Файл изменён другой программой: обновлено %1; изменено и здесь, и в файле: %2 "
    "(при сохранении будет задан вопрос)";
inline constexpr Text kFileChangedAsk =
    "Файл изменён другой программой: изменено и здесь, и в файле: %1 "
    "(при сохранении будет задан вопрос)";
inline constexpr Text kValueOne = "значение";
inline constexpr Text kValueFew = "значения";
inline constexpr Text kValueMany = "значений";
// Channels and groups the other program added or removed, after the values.
inline constexpr Text kChannelOne = "канал";
inline constexpr Text kChannelFew = "канала";
inline constexpr Text kChannelMany = "каналов";
inline constexpr Text kGroupOne = "группа";
inline constexpr Text kGroupFew = "группы";
inline constexpr Text kGroupMany = "групп";
inline constexpr Text kBackupNotKept = "Резервная копия файла настроек не сохранена: %1";
inline constexpr Text kSettingsNotSaved = "Не удалось сохранить настройки в файл %1:\n%2";
// Channel lists that were not read whole: %1 a line for each group below.
inline constexpr Text kChannelListsNotRead =
    "Списки каналов (CHAN) некоторых групп прочитаны из файла настроек не полностью:\n\n%1\n"
    "Эти каналы не показаны, и при сохранении их не будет в списках групп "
    "(их строки в файле останутся как есть).";
// %1 the group's number, %2 the length the file keeps, %3 the codes.
inline constexpr Text kChannelListCut =
    "Группа %1: список длиннее %2 символов; каналы за этой границей служба не читает: %3.";
// After the codes named: %1 how many there are.
inline constexpr Text kMoreCodes = " и другие (всего %1)";
// %1 the group's number, %2 why the code was refused (a code refusal below).
inline constexpr Text kChannelLeftOut = "Группа %1: %2";

// The values the operator and another program both changed, shown before a save.
inline constexpr Text kConflictTitle = "Значения изменены и здесь, и в файле";
inline constexpr Text kConflictNote =
    "Пока настройки были открыты, другая программа изменила в файле %1 те же значения, "
    "что и вы. Выберите для каждого, какое записать.";
inline constexpr Text kConflictKey = "Значение";
inline constexpr Text kConflictFileValue = "В файле сейчас";
inline constexpr Text kConflictOurValue = "Ваше";
inline constexpr Text kConflictChoice = "Записать";
// What a value of the conflict window is, and where: the system's, the connection's.
inline constexpr Text kValueServer = "Сервер обработки";
inline constexpr Text kValueDetailMode = "Подробный режим";
inline constexpr Text kValueShowScreen = "Диалог на экране";
inline constexpr Text kValueLogSize = "Размер файла протокола";
inline constexpr Text kValueLogDir = "Путь на файл протокола";
inline constexpr Text kValueDataSource = "Источник данных ODBC";
inline constexpr Text kValueUser = "Имя пользователя";
inline constexpr Text kValuePassword = "Пароль";
inline constexpr Text kValueDataDir = "Каталог данных ZEL";
inline constexpr Text kValueGroupSize = "Размер файла";
inline constexpr Text kValueGroupSps = "Отсчётов в секунду";
inline constexpr Text kValueChannelTime = "Последнее время";
inline constexpr Text kValueChannelFile = "Файл данных";
inline constexpr Text kValueGroupPresence = "Группа";
inline constexpr Text kValueChannelPresence = "Канал";
inline constexpr Text kPlaceSystem = "Система";
inline constexpr Text kPlaceConnection = "Подключение";
// The accessible name of a choice cell: %1 the value, %2 where it is.
inline constexpr Text kConflictChoiceName = "Записать: %1, %2";
inline constexpr Text kKeepMine = "оставить мои";
inline constexpr Text kTakeFromFile = "взять из файла";
inline constexpr Text kForAll = "Для всех:";

// The Additional page.
inline constexpr Text kServerLabel = "Название сервера обработки";
inline constexpr Text kDisplayModeBox = "Режим отображения на экране";
inline constexpr Text kDetailMode = "Подробный (выводится [Last Count Time])";
inline constexpr Text kShowScreen = "Выводить основной диалог на экран";
inline constexpr Text kGroupCountLabel = "Количество групп :";
inline constexpr Text kLogDirLabel = "Путь на файл протокола (Log-файл)";

// The folder chooser.
inline constexpr Text kChooseFolderTitle = "Выбор каталога";
inline constexpr Text kFolderPathUnfit =
    "Путь к выбранному каталогу нельзя записать в файл настроек "
    "(не более %1 знаков, только знаки кодовой страницы 1251):\n%2";

// Values of a group and a channel: the channel list's headings and the channel dialog's labels.
inline constexpr Text kGroupNumber = "№ группы";
inline constexpr Text kStationCode = "Код станции";
inline constexpr Text kChannelCode = "Код канала";
inline constexpr Text kSps = "Отсчеты в секунду";
inline constexpr Text kLastTime = "Последнее время";
inline constexpr Text kFileSize = "Размер файла";
inline constexpr Text kFileName = "Имя файла";

// The channel list page.
inline constexpr Text kAddChannelButton = "Добавить\nканал в группу";
inline constexpr Text kAddGroupButton = "Добавить группу";
inline constexpr Text kEditChannelButton = "Изменить канал в группе";
inline constexpr Text kDeleteChannelButton = "Удалить канал из группы";
inline constexpr Text kDeleteGroupButton = "Удалить группу";
inline constexpr Text kMoveGroupUp = "Переместить группу вверх";
inline constexpr Text kMoveGroupDown = "Переместить группу вниз";
inline constexpr Text kChooseGroup = "Выберите группу";
inline constexpr Text kChooseChannel = "Выберите канал";
inline constexpr Text kAddChannelTip = "Добавить канал в группу выбранной строки (Insert)";
inline constexpr Text kEditChannelTip = "Изменить выбранный канал (Enter или двойной щелчок)";
inline constexpr Text kDeleteChannelTip = "Удалить выбранный канал (Delete)";
inline constexpr Text kSearchLabel = "Поиск";
inline constexpr Text kSearchTip =
    "Показывать только строки, в коде станции или канала которых есть этот текст (Ctrl+F)";
// %1 rows shown of %2.
inline constexpr Text kSearchCount = "Показано %1 из %2";
// %1 groups in use of %2 in the file, %3 channels in the groups in use.
inline constexpr Text kListTotals = "Групп в работе: %1 из %2, каналов в них: %3";
// The tooltip of a last time: %1 its calendar text.
inline constexpr Text kLastTimeTip = "%1 UTC";
// The operator knows these questions as they are, misspelling included.
inline constexpr Text kDeleteChannelQuestion = "Вы дейстивтельно хотите\nудалить канал?";
inline constexpr Text kDeleteGroupQuestion = "Вы дейстивтельно хотите\nудалить группу?";

// The channel dialog.
inline constexpr Text kAddGroupTitle = "Добавление новой группы...";
inline constexpr Text kAddChannelTitle = "Добавление канала в группу...";
inline constexpr Text kChangeChannelTitle = "Изменение канала в группе...";
inline constexpr Text kTimeFormatBox = "Формат времени";
inline constexpr Text kUnixTimeFormat = "Unix-Time";
inline constexpr Text kCalendarTimeFormat = "yyyy-mm-dd hh:MM:ss";
inline constexpr Text kFillAllFields = "Необходимо заполнить все поля!";
inline constexpr Text kTimeFormatMismatch = "Формат времени не соответствует выбранному";
// Values the reading service cannot use: %1 the field, %2 the largest number it takes.
inline constexpr Text kNumberNotPositive = "Поле [%1]: нужно число больше нуля.";
inline constexpr Text kNumberTooLarge = "Поле [%1]: число слишком велико (наибольшее %2).";
// %1 the file name.
inline constexpr Text kDataFileHasPath =
    "Имя файла «%1» не годится: файл данных пишется в каталог данных, поэтому в имени не может "
    "быть пути («/», «\\», «..»).";
// A data file another channel writes: %1 the file name, %2 the station, %3 the channel writing it.
inline constexpr Text kDataFileInUse =
    "В файл данных «%1» уже пишет канал «%3» станции «%2»: два канала не могут писать в один файл.";
inline constexpr Text kTypeOtherDataFile = "Введите другое имя файла.";
inline constexpr Text kTimeOutOfRange =
    "Последнее время должно быть не раньше 1901-12-13 20:45:52 и не позже 2038-01-19 03:14:07\n"
    "(в секундах Unix: от -2147483648 до 2147483647).";
inline constexpr Text kDuplicateChannel =
    "В данной группе уже есть такой канал!\n Выберите другой.";
inline constexpr Text kGroupValuesQuestion =
    "Значения полей [Отсчеты в секунду] и [Размер файла]\nменяются у всей группы.\nПродолжить?";
inline constexpr Text kStationNotFound = "Станция не найдена в базе данных";
// A group's station or channel the database does not list, shown as the settings file has it:
// %1 the station; %1 the channel, %2 the station.
inline constexpr Text kStationNotListed =
    "Станции «%1» нет в базе данных: показано то, что записано в файле настроек; "
    "коды каналов вводятся вручную.";
inline constexpr Text kChannelNotListed =
    "Канала «%1» станции «%2» нет в базе данных: показано то, что записано в файле настроек.";
inline constexpr Text kChannelListTooLong =
    "Список каналов группы в файле настроек не может быть длиннее 511 символов.\n"
    "Канал не записан.";
inline constexpr Text kTooManyGroups =
    "В файле настроек может быть не более 256 групп.\nНовая группа не добавлена.";
// Adding all of a station's channels at once.
inline constexpr Text kAllStationChannels = "все каналы станции";
inline constexpr Text kAllMissingChannels = "все недостающие каналы";
inline constexpr Text kNoChannelsListed = "База данных не знает ни одного канала станции.";
inline constexpr Text kNoMissingChannels =
    "В группе уже есть все каналы станции, которые знает база данных.";
// Why a list of channels was refused: %1 the code refused.
inline constexpr Text kListEmptyCode = "В базе данных у станции есть канал без кода.";
inline constexpr Text kListDuplicateChannel = "Канал «%1» в группе уже есть.";
inline constexpr Text kListTooLong =
    "Список каналов группы в файле настроек не может быть длиннее 511 символов: "
    "канал «%1» в него уже не входит.";
inline constexpr Text kNoChannelAdded = "Ни один канал не добавлен.";
// A code the settings file cannot take: %1 which code (kStationCode or kChannelCode), %2 the
// code, %3 the reason below.
inline constexpr Text kCodeRefused = "%1 «%2» нельзя записать в файл настроек: %3.";
inline constexpr Text kCodeTooLong = "он длиннее %1 символов";
inline constexpr Text kCodeLineBreak = "он содержит перевод строки";
inline constexpr Text kCodeEdgeBlank = "он начинается или заканчивается пробелом";
inline constexpr Text kCodeSeparator = "он содержит символ «%1»";
inline constexpr Text kCodeNotInCodePage = "он содержит символ, которого нет в кодировке 1251";
inline constexpr Text kCodeNamesGroupKey = "так называется значение группы";
inline constexpr Text kCodeNamesFileKey = "с «FILE_» начинаются имена файлов каналов";
// A station or channel query that failed: its own error box, with the driver's message after.
inline constexpr Text kQueryErrorCaption = "Ошибка при запросе к базе данных";
inline constexpr Text kStationsQueryFailed =
    "При чтении списка станций из базы данных произошла ошибка:\n";
inline constexpr Text kChannelsQueryFailed =
    "При чтении списка каналов станции %1 из базы данных произошла ошибка:\n";
// Codes of the database the lists leave out: %1 the longest code, %2 stations, %3 channels.
inline constexpr Text kCodesLeftOut =
    "Не показаны коды из базы данных, которые нельзя записать в файл настроек "
    "(длиннее %1 знаков или со знаками вне кодовой страницы 1251): станций %2, каналов %3.";

// The data source page.
inline constexpr Text kAdminButton = "Вызов ODBC Data Source Administrator";
inline constexpr Text kTestButton = "Тест";
inline constexpr Text kDataSourceLabel = "Имя ресурса базы данных, объявленного в ODBC";
inline constexpr Text kUserLabel = "Имя пользователя";
inline constexpr Text kPasswordLabel = "Пароль пользователя";
inline constexpr Text kDataDirLabel =
    "Путь на данные для системы обработки сейсмических данных (ZEL)";
inline constexpr Text kSystemDsnSuffix = " (System DSN)";
inline constexpr Text kUserDsnSuffix = " (User DSN)";
// The configured data source when the driver manager lists none of that name.
inline constexpr Text kNotFoundDsnSuffix = " (не найден)";
inline constexpr Text kDataSourcesLeftOut =
    "Не показаны источники данных, имена которых нельзя записать в файл настроек "
    "(со знаками вне кодовой страницы 1251): %1.";

// The connection test and the connection's error box (shown in code page 1251).
inline constexpr Text kConnectErrorCaption = "Ошибка при подключении к базе данных";
inline constexpr Text kConnectErrorText =
    "При попытке подключения к базе данных произошла ошибка:\r\n";
inline constexpr Text kConnectReportCaption = "Подключение к источнику данных!";
inline constexpr Text kConnectedTo = "Успешное подключение к DSN: ";
inline constexpr Text kConnectedUser = "Пользователь: ";
inline constexpr Text kTableCount = "Количество таблиц: ";
// Why a connection attempt ended without the driver's word: %1 the seconds waited.
inline constexpr Text kServerSilent = "Сервер базы данных не ответил за %1 с.";
inline constexpr Text kConnectCancelled = "Подключение отменено.";
// The window shown while a connection attempt takes long.
inline constexpr Text kConnecting = "Подключение к базе данных...";

// The data source manager.
inline constexpr Text kDsnManagerTitle = "Источники данных ODBC";
inline constexpr Text kDsnManagerNote =
    "Источники данных ODBC этого компьютера. Пользовательские источники можно добавлять, "
    "изменять и удалять; системные только просматривать.";
inline constexpr Text kDsnAdd = "Добавить...";
inline constexpr Text kDsnEdit = "Изменить...";
inline constexpr Text kDsnRemove = "Удалить";
inline constexpr Text kDsnClose = "Закрыть";
inline constexpr Text kDsnNameColumn = "Имя";
inline constexpr Text kDsnDriverColumn = "Драйвер";
inline constexpr Text kDsnKindColumn = "Вид";
inline constexpr Text kDsnSystemKind = "системный";
inline constexpr Text kDsnUserKind = "пользовательский";
inline constexpr Text kNoOdbcDrivers =
    "В диспетчере драйверов ODBC не установлено ни одного драйвера.";
inline constexpr Text kReplaceDsnQuestion = "Источник данных %1 уже есть. Заменить его?";
inline constexpr Text kRemoveDsnQuestion = "Удалить источник данных %1?";
inline constexpr Text kDsnNotWritten = "Не удалось записать источник данных %1:\n%2";
inline constexpr Text kDsnNotRemoved = "Не удалось удалить источник данных %1:\n%2";

// The data source editor.
inline constexpr Text kNewDsnTitle = "Новый источник данных ODBC";
inline constexpr Text kDsnTitle = "Источник данных ODBC";
inline constexpr Text kDsnNameLabel = "Имя источника данных:";
inline constexpr Text kDsnDriverLabel = "Драйвер:";
inline constexpr Text kDsnParametersLabel = "Параметры источника данных:";
inline constexpr Text kDsnAddParameter = "Добавить параметр";
inline constexpr Text kDsnRemoveParameter = "Удалить параметр";
inline constexpr Text kDsnParameterColumn = "Параметр";
inline constexpr Text kDsnValueColumn = "Значение";
inline constexpr Text kChooseDsnDriver = "Выберите драйвер источника данных.";
inline constexpr Text kDsnTestPassed = "Подключение установлено.";
inline constexpr Text kDsnTestFailed = "Подключиться не удалось:\n%1";
// Whose name and password the manager's test connects with: %1 the user.
inline constexpr Text kDsnTestUser =
    "Проверка подключается с именем пользователя «%1» и паролем со страницы «Источник данных».";
inline constexpr Text kOdbcNotReady = "Не удалось подготовить подключение ODBC";

// Why the driver manager's files were not changed (our checks and the installer's failures).
// A name or parameter refused: %1 the name, %2 the reason below.
inline constexpr Text kBadDsnName = "Недопустимое имя источника данных \"%1\": %2";
inline constexpr Text kBadDsnParameter = "Недопустимое имя параметра \"%1\": %2";
inline constexpr Text kNameEmpty = "имя пустое";
inline constexpr Text kNameEdgeBlank = "пробел в начале или в конце";
inline constexpr Text kNameReservedChar = "в нём есть знак «%1»";
inline constexpr Text kDsnNameNotInCodePage =
    "допустимы только буквы, цифры, пробелы и знаки кодовой страницы 1251";
inline constexpr Text kDsnNameTooLong = "оно длиннее %1 знаков";
inline constexpr Text kDsnNameRefusedByDriverManager = "его не принимает диспетчер драйверов ODBC";
inline constexpr Text kKeyControlChar = "в нём есть управляющий знак или перевод строки";
inline constexpr Text kKeyStartsWithHash = "оно начинается со знака «#»";
inline constexpr Text kKeyRepeated = "такой параметр уже есть";
inline constexpr Text kDriverIsNoParameter = "драйвер задаётся отдельно от параметров";
inline constexpr Text kDsnParameterLineBreak = "Значение параметра %1 содержит перевод строки";
inline constexpr Text kNoDsnDriver = "Не выбран драйвер источника данных";
inline constexpr Text kNoDsnName = "Не задано имя источника данных";
// The user odbc.ini could not be written: %1 the file, %2 why (the system's or the installer's
// word).
inline constexpr Text kOdbcFileNotWritable = "Файл %1 не удаётся записать: %2";
inline constexpr Text kOdbcFileNotWritten = "Файл %1 не удалось записать";

// Why the settings file was not read or written (the file layer's reasons, shown inside the boxes
// above and printed by the command-line modes). %1 the path, %2 the reason.
inline constexpr Text kCannotReadFile = "не удалось прочитать «%1»: %2";
inline constexpr Text kCannotWriteFile = "не удалось записать «%1»: %2";
// %1 the folder, %2 the reason.
inline constexpr Text kCannotCreateTempFile =
    "не удалось создать временный файл в каталоге «%1»: %2";
inline constexpr Text kNotRegularFile = "это не обычный файл";
// A file too large to be one of ours (not read, never overwritten): %1 the size it may have.
inline constexpr Text kFileTooLarge = "файл больше %1, такого файла настроек не бывает";
inline constexpr Text kMebibytes = "%1 МиБ";
inline constexpr Text kByteOne = "байт";
inline constexpr Text kByteFew = "байта";
inline constexpr Text kByteMany = "байт";
// The folder takes no temporary file and the file was to be written in place: %1 why that
// failed (the previous content is back).
inline constexpr Text kInPlaceFailed =
    "в его каталоге нельзя создать временный файл, а записать его на месте не удалось "
    "(прежнее содержимое возвращено): %1";
// The same, and the previous content could not be written back: %1 why not, %2 why writing failed.
inline constexpr Text kInPlaceFailedNotRestored =
    "в его каталоге нельзя создать временный файл, записать его на месте не удалось, "
    "и прежнее содержимое вернуть не удалось (%1): %2";
// The file never stood still long enough to be read whole (another program kept writing it):
// %1 how long it was watched, in seconds.
inline constexpr Text kKeptChanging =
    "файл всё время записывается другой программой: за %1 с его не удалось прочитать целиком";
// A save that wrote the file in place was cut off (the program was killed); the next run found
// its copy. %1 the file.
inline constexpr Text kInterruptedSaveWhole =
    "прерванное сохранение файла настроек %1 успело записать его целиком; файл оставлен как есть";
inline constexpr Text kInterruptedSaveNotBegun =
    "сохранение файла настроек %1 было прервано до записи; файл не изменён";
inline constexpr Text kInterruptedSaveFinished =
    "сохранение файла настроек %1 было прервано на середине записи; новое содержимое записано "
    "полностью";
inline constexpr Text kInterruptedSaveOvertaken =
    "сохранение файла настроек %1 было прервано, но с тех пор файл записала другая программа; "
    "он оставлен как есть";
// The new content is in place, but a step after failed: %1 the file, %2 the step below, %3 why.
inline constexpr Text kPlacedBut = "в «%1» уже новое содержимое, но %2: %3";
inline constexpr Text kPlacedNotFlushed = "его не удалось сбросить на диск";
inline constexpr Text kPlacedNotClosed = "его не удалось закрыть";
inline constexpr Text kPlacedFolderNotFlushed = "его каталог не удалось сбросить на диск";
inline constexpr Text kReplacedUnreadable = "заменённый файл не удалось прочитать";
// Why no backup copy was kept (after kBackupNotKept): %1 the folder, %2 the reason.
inline constexpr Text kBackupNotKeptIn = "в каталоге «%1»: %2";
// The reasons of our own for that.
inline constexpr Text kNoBackupFolder =
    "не задан ни XDG_CACHE_HOME, ни HOME, и копиям негде храниться";
inline constexpr Text kBackupFolderIsLink = "это символическая ссылка, а не каталог";
inline constexpr Text kBackupFolderNotOurs =
    "каталог принадлежит другому пользователю (копии пишутся только в свой)";
inline constexpr Text kBackupFolderNoFolder = "это не каталог";
// %1 the file, %2 why it could not be read.
inline constexpr Text kUnreadableNotOverwritten =
    "файл настроек %1 не удалось прочитать при запуске (%2), поэтому он не перезаписывается";
// %1 the section, %2 how many channels, %3 the length the file keeps.
inline constexpr Text kChannelListTooLongToSave =
    "[%1] CHAN: список из %2 каналов длиннее %3 символов, и каналы за этой границей были бы "
    "потеряны";
// A key the profile file cannot take: %1 the section, %2 the key, %3 the reason below.
inline constexpr Text kCannotWriteKey = "нельзя записать [%1] %2: %3";
inline constexpr Text kSectionLineBreak = "в имени раздела есть перевод строки или нулевой байт";
inline constexpr Text kSectionBracket = "в имени раздела есть знак «]»";
inline constexpr Text kKeyLineBreak = "в имени ключа есть перевод строки или нулевой байт";
inline constexpr Text kKeyEquals = "в имени ключа есть знак «=»";
inline constexpr Text kKeyStartsWith = "имя ключа начинается со знака «%1»";
inline constexpr Text kValueLineBreak = "в значении есть перевод строки или нулевой байт";
// A save stopped by values changed both here and in the file: %1 the file, a line for each value
// follows.
inline constexpr Text kBothChanged =
    "другая программа изменила в файле %1 значения, которые изменены и здесь:";
// One such value: %1 where it is, %2 the file's value, %3 ours.
inline constexpr Text kConflictLine = "%1: в файле %2, здесь %3";
// What stands for a password wherever a value is shown.
inline constexpr Text kHiddenValue = "***";
// After where the value is: %1 the group's station.
inline constexpr Text kConflictStation = " (станция %1)";
// A group or channel another program removed and the operator changed: the file's side and ours.
inline constexpr Text kGroupRemoved = "группа удалена";
inline constexpr Text kGroupChanged = "группа изменена";
inline constexpr Text kChannelRemoved = "канал удалён";
inline constexpr Text kChannelChanged = "канал изменён";
// Another program wrote the file each time a save was about to replace it: %1 the file, %2 how
// many times.
inline constexpr Text kKeptBeingWritten =
    "файл настроек %1 записывала другая программа каждый из %2 раз, когда его собирались "
    "сохранить; ничего не сохранено. Сохраните ещё раз.";
inline constexpr Text kKeptBeingWrittenSaved =
    "файл настроек %1 записывала другая программа каждый из %2 раз, когда его собирались "
    "сохранить; в нём эти настройки, но, возможно, без последнего изменения другой программы. "
    "Сохраните ещё раз.";

// A settings document (--apply) refused: what is wrong with the field it names.
// %1 the document (a file name, or "-" for standard input), %2 the reason.
inline constexpr Text kDocumentUnreadable = "не удалось прочитать документ %1: %2";
// %1 the line, %2 the column.
inline constexpr Text kDocumentNotJson = "документ не в формате JSON (строка %1, столбец %2)";
inline constexpr Text kDocumentNotObject = "документ должен быть объектом JSON";
inline constexpr Text kFieldUnknown = "такого поля нет";
inline constexpr Text kFieldTwice = "поле указано дважды";
inline constexpr Text kFieldMissing = "поле обязательно";
inline constexpr Text kFieldNotText = "должно быть текстом";
inline constexpr Text kFieldNotInteger = "должно быть целым числом";
inline constexpr Text kFieldNotFlag = "должно быть 0 или 1";
inline constexpr Text kFieldNotTime = "должно быть целым числом секунд Unix или текстом времени";
inline constexpr Text kFieldNotList = "должно быть списком";
inline constexpr Text kFieldNotGroup = "должно быть объектом группы";
inline constexpr Text kFieldNotChannel = "должно быть объектом канала";
inline constexpr Text kFieldEmpty = "не может быть пустым";
inline constexpr Text kFieldNotInCodePage = "содержит символ, которого нет в кодировке 1251";
// %1 the most characters.
inline constexpr Text kFieldTooLong = "длиннее %1 символов";
// %1 and %2 the lowest and the highest value.
inline constexpr Text kFieldOutOfRange = "должно быть от %1 до %2";
inline constexpr Text kTimeNotText = "не время: нужны секунды Unix или «yyyy-mm-dd hh:MM:ss»";
inline constexpr Text kGroupWithoutChannels =
    "в группе должен быть хотя бы один канал (группу удаляют, убрав её из списка)";
// %1 the number of groups.
inline constexpr Text kGroupCountOutOfRange = "должно быть от 1 до %1 — числа групп";
inline constexpr Text kGroupCountWithoutGroups = "должно быть 0: групп нет";

// The reason the system gives for a failed file operation (an errno value), in Russian.
std::string systemError(int code);

// A count with the noun in the form Russian takes after it: "1 значение", "3 значения",
// "11 значений" (one, few and many as kValueOne, kValueFew, kValueMany).
std::string counted(long count, Text one, Text few, Text many);

// A size for the operator: "64 МиБ" for whole mebibytes, else "1000 байт".
std::string byteSize(std::uint64_t bytes);

// The text with %1 to %9 replaced by the arguments in order, in one pass: an argument that
// holds a %n itself is left as it is. A %n without an argument stays in the text.
std::string format(Text text, std::initializer_list<std::string_view> arguments);

}  // namespace vorda::texts
