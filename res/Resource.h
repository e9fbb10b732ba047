#pragma once
// Resource ids: commands, strings, dialogs and controls. The texts live in
// res/strings/<language>.txt, the menu in res/menu.<language>.txt.

// Commands (menu 128, accelerators 128, toolbar 154).
enum : unsigned {
    ID_MAN_OPEN = 32773,
    ID_MAN_CLOSE = 32774,
    ID_HILFETHEMEN = 32790,
    ID_NEW_KEYS = 32793,
    ID_EDIT_VIEW = 32796,
    ID_LIST_VIEW = 32797,
    ID_SEARCH = 32798,
    ID_BREAK_SEARCH = 32799,
    ID_MAN_INSERT = 32800,
    ID_MARKALL = 32801,
    ID_MARKNONE = 32802,
    ID_SHOWKEYS = 32803,
    ID_NEW_KEYS_REVERSE = 32806,
    ID_UPDATE_ACCOUNTS = 32809,
    ID_UNDO_UPDATE_ACCOUNTS = 32811,
    ID_MANDANT_CLEARLIST = 32812,
    ID_MANDANT_PRINTLOG = 32813,
    ID_MANDANT_CLEARLOG = 32814,
    ID_FORM2024 = 32815,
    ID_REMOVE_KEYS = 32816,
    ID_FORM2018 = 32817,
    ID_DRY_RUN = 32840,         // Konvertierung › Probelauf (an on/off switch)
    ID_RESTORE_BACKUP = 32841,  // Mandant › Sicherheitskopie zurückladen...
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_CONTEXT_HELP = 57669,
    ID_HELP_FINDER = 57670,
};

// Strings.
enum : int {
    IDR_MAINFRAME = 128,
    IDS_FUER_MANDANT = 1189,
    IDS_JA = 1190,
    IDS_NEIN = 1191,
    IDS_COLUMN_DIRECTORY = 1192,
    IDS_COLUMN_NAME = 1193,
    IDS_ENTRY_TEXTS = 2067,
    IDS_STATUS_OK = 7600,
    IDS_ERROR_CAPTION = 7601,
    IDS_NO_MANDATE = 7602,
    IDS_CONFIRM_FORMS = 8000,
    IDS_WRONG_VERSION = 8001,
    IDS_NO_PASSWORD = 8002,
    IDS_OPEN_FAILED = 8003,
    IDS_HELD_EXCLUSIVELY = 8004,
    IDS_FORMAT_TOO_OLD = 8005,
    IDS_IDS_NOT_CONVERTIBLE = 8020,
    IDS_NOT_EXCLUSIVE = 20001,
    IDS_LOG_ACCOUNT_REPLACED = 20002,
    IDS_LOG_KEY_REMOVED = 20003,
    IDS_LOG_REMOVED_FROM_FORMULAS = 20004,
    IDS_LOG_KEY_INSERTED = 20005,
    IDS_LOG_FORMULAS_EXTENDED = 20006,
    IDS_BEGIN_INSERT = 20008,
    IDS_END_INSERT = 20009,
    IDS_BEGIN_REMOVE_NEW = 20011,
    IDS_END_REMOVE_NEW = 20012,
    IDS_BEGIN_ADAPT = 20018,
    IDS_END_ADAPT = 20019,
    IDS_BEGIN_RESET = 20020,
    IDS_END_RESET = 20021,
    IDS_END_FORM2024 = 20024,
    IDS_END_REMOVE_OLD = 20025,
    IDS_INSERT_REFUSED = 20026,
    IDS_REMOVE_REFUSED = 20027,
    IDS_FORM2024_FIRST = 20028,
    IDS_END_FORM2018 = 20029,
    IDS_LOG_KEY_KEPT = 20030,
    IDS_CONFIRM_REMOVE_OLD = 20031,
    IDS_LOG_FORM_UPDATED = 20032,
    IDS_LOG_FORM_FAILED = 20033,
    IDS_LOG_FORM_SKIPPED = 20034,
    IDS_TITLE = 57344,
    IDS_HELP_CAPTION = 21001,
    IDS_FORMULAS_NOT_UPDATED = 21200,  // form workbook left unchanged after a failed formula pass
    // Dialog texts: 31000 + dialog id for captions, 30000 + control id for controls.
    IDS_DLG_ABOUT_CAPTION = 31100,
    IDS_DLG_ABOUT_TITLE = 30100,
    IDS_DLG_TRANSFER_CAPTION = 31152,
    IDS_DLG_KEYS_CAPTION = 31165,
    IDS_DLG_UPDATER_CAPTION = 31179,
};

// Dialogs and controls.
enum : int {
    IDD_ABOUTBOX = 100,
    IDD_TRANSFER = 152,
    IDD_UPDATER = 179,
    IDD_LISTTAX = 1165,
    IDC_LIST = 1022,
    IDC_LIST2 = 1023,
    IDC_ICON = 1033,
    IDC_SOURCE = 1036,
    IDC_TARGET = 1037,
    IDC_VCF = 1000,
    AFX_IDW_PANE_FIRST = 59648,
    AFX_IDW_TOOLBAR = 59392,
    AFX_IDW_STATUS_BAR = 59393,
};

enum : int {
    IDS_NO_MANDATE_IN_DIR = 21002,
    IDS_CHOOSE_MANDATE = 21003,
    IDS_LICENCES = 21004,
};

// The tax key and account commands: a failed record write, and mwst-batch.
enum : int {
    IDS_LOG_INSERT_FAILED = 21300,   // new key id, library status
    IDS_LOG_DELETE_FAILED = 21301,   // key id, library status
    IDS_LOG_ACCOUNT_FAILED = 21302,  // account number, id replaced, id to put in, status
    IDS_BATCH_USAGE = 21310,
    IDS_BATCH_UNKNOWN_COMMAND = 21311,
    IDS_BATCH_BAD_OPTION = 21312,
    IDS_BATCH_BAD_VALUE = 21326,  // option, value given, values allowed
    IDS_BATCH_PASSWORD_FILE = 21313,
    IDS_BATCH_PASSWORD_LINE = 21314,
    IDS_BATCH_NOT_REGISTERED = 21315,
    IDS_BATCH_NOT_OPENED = 21316,
    IDS_BATCH_PASSWORD_WRONG =
        21317,  // mandate directory: the password file's password was refused
    IDS_BATCH_NOT_CONFIRMED = 21318,
    IDS_BATCH_NO_MANDATES = 21319,
    IDS_BATCH_NONE_FOUND = 21320,
    IDS_BATCH_DUPLICATE = 21321,      // canonical mandate directory
    IDS_BATCH_READ_ONLY = 21322,      // canonical mandate directory
    IDS_BATCH_NOT_COMPLETED = 21323,  // canonical mandate directory
    IDS_BATCH_NOT_WITH =
        21324,  // option, the word it does not go with (backups, restore, a command)
    IDS_BATCH_ONE_DIRECTORY = 21325,  // backups or restore, the directory too many
};

// A command that did not complete: its record changes were rolled back.
enum : int {
    IDS_LOG_NOT_COMPLETED = 21330,      // mandate directory
    IDS_LOG_READ_FAILED = 21331,        // record file, library status
    IDS_LOG_TRANSACTION_FAILED = 21332,  // library status
    IDS_LOG_OLD_RATE_KEPT = 21333,      // key id
    IDS_LOG_PENDING_FORMULAS = 21334,   // journal file
};

// Form activation: why a step failed, and a missing template.
enum : int {
    IDS_LOG_FORM_REASON = 21400,             // reason of the failed step before it
    IDS_LOG_TEMPLATE_MISSING = 21401,        // template path
    IDS_REASON_TEMPLATE_UNREADABLE = 21402,  // template path
    IDS_REASON_WORKBOOK_FAILED = 21403,      // the control's message
    IDS_REASON_CANNOT_READ = 21404,          // path, system message
    IDS_REASON_CANNOT_WRITE = 21405,         // path, system message
};

// The command line of mwst-konvertierung.
enum : int {
    IDS_PROGRAM_USAGE = 21700,
    IDS_PROGRAM_BAD_ARGUMENTS = 21701,  // the parser's message
};

// Form workbooks of a mandate that cannot be used.
enum : int {
    IDS_LOG_NO_FORM_WORKBOOK = 21420,  // the mandate's workbook path: none usable, formulas not adapted
    IDS_LOG_FORM_UNREADABLE = 21421,   // workbook path, the control's message
    IDS_LOG_FORMS_READ_ONLY = 21422,   // mandate directory: activation refused
    IDS_MAPPING_PROBLEM = 21430,         // workbook, sheet, cell, what is wrong
    IDS_MAPPING_LABEL = 21431,           // label expected, label found
    IDS_MAPPING_TAX_SUFFIX = 21432,      // term
    IDS_MAPPING_COLUMNS_DIFFER = 21433,
    IDS_MAPPING_UNKNOWN_KEY = 21434,     // key
    IDS_MAPPING_MOVED = 21435,           // first label
    IDS_MAPPING_NO_SHEET = 21436,        // sheet name, the sheet taken without it, its first label
    IDS_MAPPING_UNREADABLE = 21437,      // workbook, reason
    IDS_LOG_PENDING_FAILED = 21438,      // journal file
    IDS_LOG_FORM_REPLACED = 21439,       // workbook, what is wrong with it
    IDS_LOG_CONNECTION_LOST = 21440,     // the database server's connection broke off
    IDS_LOG_PENDING_DROPPED = 21441,     // journal file
    IDS_MAPPING_PROBLEM_WORKBOOK = 21442,  // workbook, what is wrong (no sheet, no cell to name)
    IDS_LOG_FORM_WAY_OUT = 21443,          // after a refused workbook: activate the form again
    // The system's reasons (SystemText), by errno.
    IDS_ERRNO_NOSPC = 21450,
    IDS_ERRNO_DQUOT = 21451,
    IDS_ERRNO_ACCES = 21452,
    IDS_ERRNO_NOENT = 21453,
    IDS_ERRNO_ROFS = 21454,
    IDS_ERRNO_IO = 21455,
    IDS_ERRNO_NOTDIR = 21456,
    IDS_ERRNO_ISDIR = 21457,
    IDS_ERRNO_EXIST = 21458,
    IDS_ERRNO_INVAL = 21459,
    IDS_ERRNO_NAMETOOLONG = 21460,
    IDS_ERRNO_MFILE = 21461,
    IDS_ERRNO_BUSY = 21462,
    IDS_ERRNO_LOOP = 21463,
};

// Backups of a mandate (backup): log lines, and why a backup or a
// restore did not happen (backup::Error::StringId, "%s" path then detail).
enum : int {
    IDS_LOG_BACKUP_TAKEN = 21500,      // backup id, backup folder
    IDS_LOG_BACKUP_FAILED = 21501,     // mandate directory; IDS_LOG_FORM_REASON with the reason follows
    IDS_LOG_RESTORED = 21502,          // backup id restored, id of the backup of the state before
    IDS_LOG_RESTORE_FAILED = 21503,    // mandate directory; IDS_LOG_FORM_REASON with the reason follows
    IDS_LOG_RESTORED_PARTS = 21504,    // number of files, their names
    IDS_LOG_RESTORE_RESUMED = 21505,   // backup id, mandate directory
    IDS_LOG_ACTIVATION_RESUMED = 21506,  // mandate directory
    IDS_UNSAFE_FILE = 21507,           // path, IDS_REASON_LINK_OUTSIDE or IDS_REASON_NOT_REGULAR
    IDS_REASON_LINK_OUTSIDE = 21508,   // where the link points
    IDS_REASON_NOT_REGULAR = 21509,
    IDS_BACKUP_NOT_EXCLUSIVE = 21510,  // mandate directory
    IDS_BACKUP_READ_ONLY = 21511,      // mandate directory
    IDS_BACKUP_FOLDER = 21512,         // folder, system message
    IDS_BACKUP_RECORDS = 21513,        // database, its message
    IDS_BACKUP_NONE = 21514,           // mandate directory
    IDS_BACKUP_UNKNOWN = 21515,        // backup id
    IDS_BACKUP_DAMAGED = 21516,        // backup id, what is wrong
    IDS_BACKUP_OTHER_KIND = 21517,     // backup id, kind of mandate it was taken of
    IDS_BACKUP_BOOKED_KEYS = 21518,    // tax ids, number of bookings
    IDS_MANDATE_DAMAGED = 21519,       // mandate directory, what is wrong
};

// Safety of a run: dry runs, backups listed and restored by mwst-batch and the window.
enum : int {
    IDS_LOG_DRY_RUN_BEGIN = 21520,     // mandate directory: before a command of a dry run
    IDS_LOG_DRY_RUN_END = 21521,       // mandate directory: after it
    IDS_LOG_DRY_RUN_FAILED = 21522,    // mandate directory; IDS_LOG_FORM_REASON with the reason follows
    IDS_LOG_RESTORE_BEGIN = 21523,     // mandate directory
    IDS_LOG_RESTORE_END = 21524,       // mandate directory
    IDS_BATCH_BACKUPS_HEADING = 21530, // the columns of mwst-batch backups
    IDS_RESTORE_TITLE = 21540,         // caption of the restore dialog
    IDS_RESTORE_PROMPT = 21541,        // mandate directory
    IDS_RESTORE_ITEM = 21542,          // time, command that followed, size in bytes, backup id
    IDS_RESTORE_CONFIRM = 21543,       // backup id, time, mandate directory
};

// The window while a run goes and after it: progress, stop, the result; the
// log saved; the licences page of the about box.
enum : unsigned {
    ID_MANDANT_SAVELOG = 32830,
};
enum : int {
    IDS_RUN_PROGRESS = 21600,        // mandate number from 1, mandates in the run
    IDS_RUN_STOP = 21601,            // the stop button
    IDS_RUN_STOP_TIP = 21602,
    IDS_RUN_STOPPED = 21603,         // mandates done, mandates in the run, the counts, first directory not done
    IDS_RUN_ABORTED = 21604,         // mandate number, mandates in the run, its directory
    IDS_RUN_COUNTS = 21605,          // converted, unchanged, skipped, reasons of the skipped (or ""), failed
    IDS_RUN_SUMMARY_LOG = 21606,     // mandates in the run, the counts
    IDS_RUN_SUMMARY_STATUS = 21607,  // the counts
    IDS_SKIP_LOCKED = 21608,         // each a count
    IDS_SKIP_VERSION = 21609,
    IDS_SKIP_NOT_OPENED = 21610,
    IDS_SKIP_READ_ONLY = 21611,
    IDS_SKIP_REFUSED = 21612,
    IDS_SEARCH_PROGRESS = 21613,     // folders searched, mandates registered
    IDS_BATCH_PASSWORD_FILE_MODE = 21614,  // mwst-batch: password file that group or others may use
    IDS_SAVELOG_TITLE = 21620,
    IDS_SAVELOG_FILTERS = 21621,     // text filter, then PDF filter, separated by ";;"
    IDS_SAVELOG_NAME = 21622,        // proposed file name without extension
    IDS_SAVELOG_FAILED = 21623,      // file, system message
    IDS_LOG_TABLE_UNREADABLE = 21624,  // table file, why (one of the next four, or the system's)
    IDS_TABLE_FOLDER = 21625,
    IDS_TABLE_NOT_REGULAR = 21626,
    IDS_TABLE_UTF16_NO_BOM = 21627,
    IDS_TABLE_NOT_TEXT = 21628,
    IDS_REASON_TABLE_UNREADABLE = 21629,  // why a key is not converted: the table is unreadable
    IDS_ABOUT_VERSION = 21630,       // version
    IDS_LICENCES_TITLE = 21631,
    IDS_LICENCES_INTRO = 21632,
    IDS_LICENCE_PUBLIC_DOMAIN = 21633,
    IDS_LICENCES_DEBIAN = 21634,
    IDS_KEY_RETURN = 21640,          // the Return key's name in shortcuts
    IDS_LOG_KEY_NOT_CONVERTED = 21641,  // old key id, why (one of the reasons)
    IDS_LOG_NEW_KEY_KEPT = 21642,       // new key id, why it is not the old key's new key
    IDS_OVERVIEW_NOT_CONVERTED = 21643,  // why: the overview's column "vorhanden"
    IDS_REASON_OTHER_RATE = 21644,      // new id, its rate and entry; the rate and entry wanted
    IDS_REASON_OTHER_CASE = 21645,      // new id, the id of the key in another letter case
    IDS_REASON_NEW_KEY_MISSING = 21646,  // new id
};

// Workbooks the reader refuses for passing one of its limits (workbook/,
// ooxml::ReadLimits). Each begins with the file.
enum : int {
    IDS_WORKBOOK_TOO_DEEP = 21650,          // file, part, levels
    IDS_WORKBOOK_TOO_MANY_NODES = 21651,    // file, nodes, part where the count passed them
    IDS_WORKBOOK_TOO_MANY_CELLS = 21652,    // file, cells, part where the count passed them
    IDS_WORKBOOK_TOO_MANY_STRINGS = 21653,  // file, shared strings
    IDS_WORKBOOK_TOO_MANY_SHEETS = 21654,   // file, sheets
    IDS_WORKBOOK_TOO_MANY_PARTS = 21655,    // file, parts
    IDS_WORKBOOK_TOO_LARGE = 21656,         // file, size ("16 MiB")
    IDS_WORKBOOK_PART_TOO_LARGE = 21657,    // file, part, size
    // Workbooks the reader cannot read; the reader's own words follow in brackets.
    IDS_WORKBOOK_NOT_AN_ARCHIVE = 21658,    // file, detail
    IDS_WORKBOOK_FAULTY_PART = 21659,       // file, part, detail
    IDS_WORKBOOK_NO_WORKBOOK = 21660,       // file, detail
    IDS_WORKBOOK_EMPTY = 21661,             // file
    IDS_LOG_ACCOUNT_STAYS = 21662,  // account, old key, why its new key is not there
    IDS_LOG_KEY_ON_ACCOUNT = 21663,  // old key, account that defaults to it
    IDS_LOG_OLD_KEYS_BOOKED = 21664,  // number of old keys still booked
    IDS_REASON_INSERT_NEEDS_2018 = 21665,  // insert-keys refused under the 2024 form: why and the way out
    IDS_LOG_READ_ONLY_SKIPPED = 21666,  // mandate directory
    IDS_REASON_INSERT_FIRST = 21667,    // why a new key is missing, with the step that makes it
    IDS_LOG_ACCOUNTS_LEFT = 21668,      // number of accounts left on old keys the rules convert
    IDS_LOG_KEYS_NOT_CONVERTED = 21669, // number of old keys without their new key
    // Work found done already, the end of a dry run or a stopped run, the dry-run pane, a run's question.
    IDS_LOG_ALREADY_DONE = 21800,
    IDS_RUN_DRY_COUNTS = 21801,             // mandates checked
    IDS_RUN_DRY_PROBLEMS = 21802,           // skipped, reasons of the skipped (or ""), failed
    IDS_RUN_DRY_SUMMARY_LOG = 21803,        // the counts
    IDS_RUN_DRY_SUMMARY_STATUS = 21804,     // the counts
    IDS_RUN_STOPPED_STATUS = 21805,         // mandates done, mandates in the run, the counts
    IDS_STATUS_DRY_RUN = 21806,
    IDS_CONFIRM_RUN = 21807,                // command, mandates
    IDS_CONFIRM_RUN_WITH = 21808,           // command, mandates, the command's own question
    // Runs over many mandates: answers for all, mandates left out, folders not searched; the printed log.
    IDS_FOR_ALL_MANDATES = 21850,
    IDS_LOG_LEFT_OUT = 21851,               // folder, reason
    IDS_LEFT_OUT_VERSION = 21852,           // the required data version
    IDS_LEFT_OUT_PASSWORD = 21853,
    IDS_LEFT_OUT_LOCKED = 21854,
    IDS_LEFT_OUT_NOT_OPENED = 21855,
    IDS_SEARCH_SUMMARY = 21856,             // registered, left out, reasons (or ""), folders not searched
    IDS_SKIP_PASSWORD = 21857,              // a count
    IDS_LOG_FOLDER_UNREADABLE = 21858,      // folder, reason (no line end)
    IDS_REASON_PATH_TOO_LONG = 21859,       // the limit
    IDS_PRINT_HEADER = 21860,               // page number
    IDS_PRINT_HEADER_DRY_RUN = 21861,       // page number
    IDS_NO_PRINTER = 21862,
};

// Where each mandate stands: mwst-batch status and the list's column.
enum : int {
    IDS_STATUS_HEADING = 21900,          // the columns of mwst-batch status, separated by tabs
    IDS_STAGE_NOT_STARTED = 21901,       // the stages in the order of ConversionStage
    IDS_STAGE_KEYS_INSERTED = 21902,
    IDS_STAGE_ACCOUNTS_ADAPTED = 21903,
    IDS_STAGE_FORM_2024 = 21904,
    IDS_STAGE_OLD_KEYS_REMOVED = 21905,
    IDS_STAGE_INCONSISTENT = 21906,
    IDS_PROBLEM_VERSION = 21907,         // why a mandate's status could not be read
    IDS_PROBLEM_PASSWORD = 21908,
    IDS_PROBLEM_LOCKED = 21909,
    IDS_PROBLEM_UNREADABLE = 21910,
    IDS_COLUMN_STAGE = 21911,
    IDS_LIST_COUNTS = 21912,             // mandates listed, mandates selected (numbers)
    IDS_FORM_NONE = 21913,
    IDS_FORM_UNREADABLE = 21914,
    IDS_LOG_STOPPED = 21915,  // mandate directory
    IDS_STAGE_WAITING_FOR_OLD_BOOKINGS = 21916,
    // The reason in words of a status row (problem_detail), its next step, its summary.
    IDS_DETAIL_NO_FOLDER = 21940,           // folder
    IDS_DETAIL_NO_MANDATE = 21941,
    IDS_DETAIL_DB_NAME = 21942,             // the name found
    IDS_DETAIL_DB_FOLDER = 21943,
    IDS_DETAIL_DB_EMPTY = 21944,
    IDS_DETAIL_DB_TRUNCATED = 21945,        // bytes there, bytes it should have
    IDS_DETAIL_DB_TOO_SHORT = 21946,        // bytes
    IDS_DETAIL_DB_FOREIGN = 21947,
    IDS_DETAIL_DB_DAMAGED = 21948,          // the library's status
    IDS_DETAIL_NO_ACCESS = 21949,           // the system's reason
    IDS_DETAIL_SQL = 21950,
    IDS_DETAIL_VERSION = 21951,             // the data version found
    IDS_DETAIL_PASSWORD = 21952,
    IDS_DETAIL_LOCKED = 21953,
    IDS_DETAIL_MISSING_KEYS_ACCOUNTS = 21954,// accounts
    IDS_DETAIL_KEYS_MISSING_FORM_2024 = 21955,// keys missing
    IDS_DETAIL_ACCOUNTS_FORM_2024 = 21956,  // accounts
    IDS_DETAIL_FORMS_MIXED = 21957,         // the versions found
    IDS_NEXT_OLD_BOOKINGS = 21958,
    IDS_NEXT_CORRECT_ACCOUNTS = 21959,
    IDS_NEXT_UPDATE_DATA = 21960,
    IDS_NEXT_PASSWORD = 21961,
    IDS_NEXT_RETRY = 21962,
    IDS_NEXT_CHECK_FOLDER = 21963,
    IDS_FORM_MIXED = 21965,
    IDS_STATUS_SUMMARY_STAGE = 21966,       // count, stage
    IDS_STATUS_SUMMARY_PROBLEM = 21967,     // count, problem
    IDS_STATUS_SUMMARY_TOTAL = 21968,       // count
};

// The bookings on the wrong side of 1.1.2024: mwst-batch bookings --wrong-side.
enum : int {
    IDS_BOOKINGS_HEADING = 21970,    // the columns of the report, separated by tabs
    IDS_BATCH_NEEDS_OPTION = 21971,  // the word, the option it needs
};

// The reason a mandate whose tables are damaged is refused, in the status and
// by the commands alike.
enum : int {
    IDS_DETAIL_TABLES_DAMAGED = 22030,  // what is wrong
};

// mwst-batch on a terminal: how far a command's walk over a mandate's records is.
enum : int {
    IDS_BATCH_PROGRESS = 23000,  // mandate folder, records done, records walked
};

// The backups as mwst-batch backups lists them.
enum : int {
    IDS_BACKUP_ORIGINAL = 21985,  // the mark of the backup of the state before any change
};

// The window's own texts for Qt's dialogs and the printed log.
enum : int {
    IDS_QT_FOLDER = 21990,           // a folder's type in Qt's file dialog, where Qt's translation lacks it
};
enum : int {
    IDS_LOG_RUN_STARTED = 21991,     // date and time: the first line of a run of commands
    IDS_LOG_DRY_RUN_STARTED = 21992, // date and time: the same for a dry run
    IDS_PRINT_RUN = 21993,           // date and time: a printed page's run, after the page number
    IDS_PRINT_DRY_RUN = 21994,       // date and time: the same for a dry run
    IDS_PRINT_PRINTED = 21995,       // date and time: a printed page before any run
};

// Rate changes other than the default (rules/RateChange.h): their form step
// and the refusal of a definition file.
enum : int {
    IDS_LOG_CHANGE_FORMS_MISSING = 26000,  // change's name, template folder: its form templates are not installed
    IDS_CHANGE_FORM_FIRST = 26001,         // change's name: its form must be active before the old keys go
    IDS_CHANGE_FAULT_AT_LINE = 26010,      // file, line, fault
    IDS_CHANGE_FAULT_IN_FILE = 26011,      // file, fault
    IDS_CHANGE_UNREADABLE = 26012,         // the definition file cannot be read
    IDS_CHANGE_MISSING_ENTRY = 26013,      // section/key
    IDS_CHANGE_BAD_VALUE = 26014,          // section/key
    IDS_CHANGE_CLASS_WITHOUT_RATE = 26015, // the rate class's section
    IDS_CHANGE_SHARED_SUFFIX = 26016,      // the id suffix
    IDS_CHANGE_SHARED_OLD_RATE = 26017,    // the old rate
    IDS_CHANGE_UNKNOWN_FORMS = 26018,      // the form template set
};

// The window under a rate change other than the default.
enum : int {
    IDS_TITLE_CHANGE = 26100,  // the program's title, how the texts name the change
};
