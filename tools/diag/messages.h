// The numbers of the doctor's messages: every line a person reads is one of
// them, looked up in the string table of the chosen language (strings_en.rc,
// strings_ja.rc, compiled into zelkdiag.exe by zelkdiag.rc). The resource
// compiler reads this file too, so it holds nothing but #defines.
//
// Adding a message: give it a number here, in the group of its check, then
// add one line with that number to every strings_*.rc. English is the
// reference: the diag test fails while another table lacks a message, or
// where its {1}..{9} (the arguments, in any order the language needs) differ
// from the English ones. Adding a language: one more strings_xx.rc, included
// by zelkdiag.rc, and one more row in kLanguages (language.h).
#pragma once

// The program: options, the report's frame, the double-click pause.
#define MSG_USAGE 100
#define MSG_UNKNOWN_OPTION 101
#define MSG_MISSING_PATH 102
#define MSG_UNKNOWN_LANGUAGE 103
#define MSG_HEADER 104
#define MSG_VERDICT_OK 105
#define MSG_VERDICT_WARN 106
#define MSG_VERDICT_FAIL 107
#define MSG_REMEDY_LABEL 108
#define MSG_SUMMARY 109
#define MSG_PRESS_A_KEY 110
#define MSG_ITEM_AND 111
#define MSG_MACHINE_32 112
#define MSG_MACHINE_64 113
#define MSG_MACHINE_ARM64 114
#define MSG_MACHINE_OTHER 115
#define MSG_FILE_UNREADABLE 116
#define MSG_FILE_NOT_A_PROGRAM 117
#define MSG_FILE_NOT_A_DLL 118
#define MSG_REPAIR_DIRECTSHOW 119

// Registration.
#define MSG_REG_TITLE 200
#define MSG_REG_PATH_PLACEHOLDER 201
#define MSG_REG_RUN_REGSVR32 202
#define MSG_REG_OTHER_VIEW_ONLY 203
#define MSG_REG_NOT_REGISTERED_OTHER 204
#define MSG_REG_REGISTER_BITS 205
#define MSG_REG_NOT_REGISTERED 206
#define MSG_REG_REGISTER_WHERE_IT_STAYS 207
#define MSG_REG_KEY_UNREADABLE 208
#define MSG_REG_NO_PATH 209
#define MSG_REG_MISSING 210
#define MSG_REG_PATH_NOW_PLACEHOLDER 211
#define MSG_REG_RUN_OR_PUT_BACK 212
#define MSG_REG_REINSTALL 213
#define MSG_REG_WRONG_MACHINE 214
#define MSG_REG_REGISTER_INSTEAD 215
#define MSG_REG_WHERE 216
#define MSG_REG_FOUND 217
#define MSG_REG_MODEL_MISSING 218
#define MSG_REG_VERSION 219
#define MSG_REG_NO_VERSION 220
#define MSG_REG_WRONG_MODEL 221
#define MSG_REG_NO_VERSION_REMEDY 222
#define MSG_REG_REPAIR_FIRST 229
#define MSG_MOD_TITLE 223
#define MSG_MOD_MISSING 224
#define MSG_MOD_GIVE_FULL_PATH 225
#define MSG_MOD_GIVE_PATH 226
#define MSG_MOD_FOUND 227
#define MSG_MOD_OTHER_BITNESS 228

// Firmware.
#define MSG_FW_TITLE 300
#define MSG_FW_COPY 301
#define MSG_FW_COPY_AGAIN 302
#define MSG_FW_NO_FOLDER 303
#define MSG_FW_REGISTER_FULL_PATH 304
#define MSG_FW_CANNOT_OPEN 305
#define MSG_FW_GIVE_ACCESS 306
#define MSG_FW_MISSING 307
#define MSG_FW_MISSING_RENAMED 308
#define MSG_FW_RENAME 309
#define MSG_FW_SIZE_UNREADABLE 310
#define MSG_FW_EMPTY 311
#define MSG_FW_TOO_LARGE 312
#define MSG_FW_NOT_THE_IMAGE 313
#define MSG_FW_READ_FAILED 314
#define MSG_FW_PLACEHOLDER 315
#define MSG_FW_PLACEHOLDER_REMEDY 316
#define MSG_FW_OK 317

// The board's device, filter and the board itself.
#define MSG_DEV_TITLE 400
#define MSG_DEV_NO_PATH 401
#define MSG_DEV_NO_NAME 402
#define MSG_DEV_NO_PINS 403
#define MSG_DEV_PIN_IN 404
#define MSG_DEV_PIN_OUT 405
#define MSG_BOARD_TITLE 406
#define MSG_BOARD_LATER 407
#define MSG_BOARD_NO_ANSWER 408
#define MSG_BOARD_SHORT_ANSWER 409
#define MSG_BOARD_ENHANCER 410
#define MSG_BOARD_NO_ENHANCER 411
#define MSG_FILTER_TITLE 412
#define MSG_FILTER_NO_BIND 413
#define MSG_FILTER_NO_BIND_REMEDY 414
#define MSG_FILTER_CLASS 415
#define MSG_PIN_TITLE 416
#define MSG_PIN_MISSING 417
#define MSG_PIN_MISSING_REMEDY 418
#define MSG_PROPS_TITLE 419
#define MSG_PROPS_MISSING 420
#define MSG_PROPS_MISSING_REMEDY 421
#define MSG_DEV_ENUM_FAILS 422
#define MSG_DEV_COUNT_ONE 423
#define MSG_DEV_COUNT 424
#define MSG_DEV_NONE_AT_ALL 425
#define MSG_DEV_NONE_NAMED 426
#define MSG_DEV_INSTALL_DRIVER 427
#define MSG_DEV_FOUND 428
#define MSG_DEV_SEVERAL 429
#define MSG_DEV_TAKEN 431
#define MSG_DEV_OTHER 433
#define MSG_DEV_TAKEN_UNBOUND 434
#define MSG_DEV_BOARD_N 435
#define MSG_BOARD_LABEL_TITLE 436
#define MSG_BOARD_LABEL_FOUND 437

// --deep: the module run on the board.
#define MSG_DEEP_POWER_CYCLE 500
#define MSG_DEEP_CREATE_TITLE 501
#define MSG_DEEP_CLASS_FAILS 502
#define MSG_DEEP_FIX_REGISTRATION 503
#define MSG_DEEP_CLASS_OK 504
#define MSG_DEEP_NO_LOAD 505
#define MSG_DEEP_GIVE_OWN_BITNESS 506
#define MSG_DEEP_NO_OBJECT 507
#define MSG_DEEP_NO_EXPORT 508
#define MSG_DEEP_GIVE_MODULE 509
#define MSG_DEEP_EXPORT_OK 510
#define MSG_DEEP_STEP_TITLE 511
#define MSG_DEEP_STATUS 512
#define MSG_DEEP_ENCODER_ERROR 513
#define MSG_DEEP_NO_SIGNAL 514
#define MSG_DEEP_NO_SIGNAL_REMEDY 515
#define MSG_DEEP_GRAPH_TITLE 516
#define MSG_DEEP_GRAPH_FAILS 517
#define MSG_DEEP_NO_PIN 518
#define MSG_DEEP_PIN 519
#define MSG_DEEP_LOAD_REMEDY 520
#define MSG_DEEP_INIT_REMEDY 521
#define MSG_DEEP_STATUS_REMEDY 522
#define MSG_DEEP_UNLOAD_REMEDY 523
#define MSG_DEEP_NOTE 524
#define MSG_DEEP_TRACE_NOTE 525
#define MSG_DEEP_DEBUGGER 526
#define MSG_DEEP_NO_HANDLER 527
