// The built-in English message texts, by id 1..223.
#pragma once

#include <array>
#include <string_view>

namespace core {

inline constexpr std::array<std::string_view, 223> kEnglishTexts = {
    "File",  // 1
    "New...",  // 2
    "Open...",  // 3
    "Close",  // 4
    "Compare",  // 5
    "Save",  // 6
    "Save As...",  // 7
    "Print Title & Set",  // 8
    "Print Preview",  // 9
    "Print...",  // 10
    "Recent Files",  // 11
    "Exit",  // 12
    "Inverter with Default...",  // 13
    "File with File...",  // 14
    "Files with Default...",  // 15
    "Edit",  // 16
    "Station Title...",  // 17
    "Find...",  // 18
    "Go to...",  // 19
    "Definite Parameter...",  // 20
    "Operation",  // 21
    "Link...",  // 22
    "Read...",  // 23
    "Write...",  // 24
    "Monitor...",  // 25
    "Online Edit",  // 26
    "View",  // 27
    "Toolbar",  // 28
    "Status Bar",  // 29
    "Help",  // 30
    "Contents",  // 31
    "About",  // 32
    "Ready",  // 33
    "Ver:",  // 34
    "Linking",  // 35
    "No Station linked",  // 36
    "Model:",  // 37
    "Online Edit",  // 38
    "Offline Edit",  // 39
    "Motor...",  // 40
    "Create a new parameter document",  // 41
    "Open an existing parameter document",  // 42
    "Close the active document",  // 43
    "Compare parameter: Inverter with Default",  // 44
    "Compare parameter: File with File",  // 45
    "Compare parameter: Files with Default",  // 46
    "Save the active document",  // 47
    "Save the active document with a new name",  // 48
    "Edit the print title informations",  // 49
    "Display full pages",  // 50
    "Print the active document",  // 51
    "Open this document",  // 52
    "Quit the software",  // 53
    "Edit the station title",  // 54
    "Find the specified text",  // 55
    "Go to specified parameter line",  // 56
    "Edit the definite parameter",  // 57
    "Link with inverter",  // 58
    "Read parameters from the inverter",  // 59
    "Write parameters to the inverter",  // 60
    "Monitor the inverter status and parameters",  // 61
    "Setting online edit",  // 62
    "Show or hide the toolbar",  // 63
    "Show or hide the status bar",  // 64
    "Open help file",  // 65
    "Display software information",  // 66
    "Manage the Motor Setting",  // 67
    "Parameters List",  // 68
    "",  // 69
    "",  // 70
    "The File has been modified!",  // 71
    "Do you want to save the file ?",  // 72
    "Error Message",  // 73
    "File not Found",  // 74
    "Communication Message",  // 75
    "Cummunication Error!!",  // 76
    "Can not open COM port",  // 77
    "TIME-OUT !!",  // 78
    "Model Unknown!!",  // 79
    "Station",  // 80
    "Description",  // 81
    "Code",  // 82
    "Unit",  // 83
    "Range",  // 84
    "Default",  // 85
    "Setting",  // 86
    "Different Model",  // 87
    "Enter the Password",  // 88
    "Over Range!!!",  // 89
    "Code:",  // 90
    "Range Value:",  // 91
    "Read Inverter Function Parameter..",  // 92
    "Write Inverter Function Parameter To Module..",  // 93
    "Continue to Next Station ?",  // 94
    "STOP",  // 95
    "START",  // 96
    "FWD>>",  // 97
    "<<REV",  // 98
    "Write Fail",  // 99
    "Write Message",  // 100
    "Write Parameter Successfully!!",  // 101
    "Find",  // 102
    "Search Text",  // 103
    "not Found!",  // 104
    "Table Full!!",  // 105
    "Write Motor Record no.",  // 106
    "Record Saved in Position ",  // 107
    "No Valid Data Available",  // 108
    "Enter Motor Code",  // 109
    "Invalid Code",  // 110
    "Confirm Download ??",  // 111
    "English",  // 112
    "Italiano",  // 113
    "xx",  // 114
    "xx",  // 115
    "Change the Language",  // 116
    "Cambia la Lingua",  // 117
    "xx",  // 118
    "xx",  // 119
    "OK",  // 120
    "Cancel",  // 121
    "Model Select",  // 122
    "Print Title",  // 123
    "Title:",  // 124
    "Version:",  // 125
    "Company Name:",  // 126
    "Date:",  // 127
    "Programmer:",  // 128
    "Page:",  // 129
    "Remark:",  // 130
    "Print Set",  // 131
    "Print Title",  // 132
    "Parameter List:",  // 133
    "&Clear Print Title",  // 134
    "Compare Inverter with Default",  // 135
    "Station NO.:",  // 136
    "Compare File with File",  // 137
    "Selected Files",  // 138
    "Compare Files with Default",  // 139
    "Default",  // 140
    "Link",  // 141
    "Com Port",  // 142
    "Baud Rate",  // 143
    "Data Format",  // 144
    "Data Bit",  // 145
    "Parity Bit",  // 146
    "Stop Bit",  // 147
    "Default Setting",  // 148
    "Station",  // 149
    "Single",  // 150
    "(Single or range, for example: 1,3,5-12)",  // 151
    "All of the Inverter",  // 152
    "&Link",  // 153
    "&Unlink",  // 154
    "&Close",  // 155
    "Station Title",  // 156
    "Clear",  // 157
    "Station NO.",  // 158
    "Find and Go to",  // 159
    "Find",  // 160
    "Go to",  // 161
    "Direction:",  // 162
    "Up",  // 163
    "Down",  // 164
    "Text to Find:",  // 165
    "Find Next",  // 166
    "Code Type:",  // 167
    "Go to Code:",  // 168
    "Definite Parameter",  // 169
    "Parameters",  // 170
    "Add / Remove",  // 171
    "All Parameters",  // 172
    "Definite",  // 173
    "Add->",  // 174
    "<-Remove",  // 175
    "Add All",  // 176
    "Remove All",  // 177
    "Up Move",  // 178
    "Down Move",  // 179
    "Read",  // 180
    "Read from Station:",  // 181
    "Option",  // 182
    "Write",  // 183
    "Monitor",  // 184
    "CURRENT",  // 185
    "xx",  // 186
    "xx",  // 187
    "xx",  // 188
    "xx",  // 189
    "Set Freq.",  // 190
    "SET",  // 191
    "Output Freq.",  // 192
    "Output Volt.",  // 193
    "Output Amp.",  // 194
    "Output Power",  // 195
    "Bus Voltage",  // 196
    "ADVANCED",  // 197
    "STATUS",  // 198
    "Error Message:",  // 199
    "Reset",  // 200
    "CONTROL",  // 201
    "RUN",  // 202
    "STOP",  // 203
    "FWD",  // 204
    "REV",  // 205
    "Fun. no.",  // 206
    "Fun. data",  // 207
    "Set data",  // 208
    "Motor database",  // 209
    "Insert",  // 210
    "Delete",  // 211
    "Replace",  // 212
    "Download",  // 213
    "Illegal Data",  // 214
    "",  // 215
    "",  // 216
    "",  // 217
    "",  // 218
    "",  // 219
    "",  // 220
    "Code",  // 221
    "Value",  // 222
    "Export As...",  // 223
};

}  // namespace core
