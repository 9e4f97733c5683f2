// The ids of the dialog items the code refers to, one namespace per dialog. They are the
// ids of the templates in ui/dialog_template.cpp, so every name keeps its number.
#pragma once

namespace ulvane {

// The main window (template 102).
namespace main_id {
enum : int {
    kAddButton = 1000,  // "Add" over the preview while no file is loaded
    kConvertButton = 1004,
    kStartCaption = 1018,
    kEndCaption = 1019,
    kStartBox = 1023,
    kEndBox = 1024,
    kLengthText = 1025,
    kMergeButton = 1099,
    kLanguageBox = 1105,
    kSourceList = 1114,
    kPreview = 1139,
    kSeekBar = 1140,
    kEndPointButton = 1149,
    kStartPointButton = 1154,
    kLengthCaption = 1157,
    kTabs = 1160,
    kCutGroup = 1172,  // the frame around the cut buttons
    kHelpLink = 1180,
    kOpenButton = 1183,
    kPositionText = 1184,
    kPlayButton = 1188,
    kRemoveButton = 1254,
    kAddFilesButton = 1255,  // the join tab's add button
    kLanguageCaption = 1278,
    kMoveUpButton = 1290,
    kMoveDownButton = 1291,
    kDirectStartNote = 1301,
    kStatusLine = 1302,  // the loaded file's codecs and length
    // Playback in the preview, beside the play button.
    kMuteButton = 1310,
    kVolumeSlider = 1311,
    kSoundTrackBox = 1312,     // shown when the file has more than one sound track
    kLoopCheck = 1313,         // segment playback starts again at the segment's start
    kTurnButton = 1314,        // turns the output (and the preview) a quarter turn clockwise
    kQueueButton = 1315,       // shows or hides the job queue
    kApplyToAllButton = 1316,  // the join tab's: the cut settings on every ticked file
};
}  // namespace main_id

// The columns of the main window's source list.
namespace source_column {
enum : int {
    kPath = 0,
    kType = 1,
    kLength = 2,
    kSize = 3,
    kFrameRate = 4,
    kStatus = 5,
    kCount = 6,
};
}  // namespace source_column

// What the path cell of a join row knows of its file besides the texts shown.
namespace join_role {
enum : int {
    kHidesLead = 0x0100,  // Qt::UserRole
    kVideoCodec,
    kAudioCodec,
    kSampleRate,
    kChannels,
    kOtherTracks,
    kFilePath,  // the whole path; the cell shows the file's name
    kReorderDepth,
    kCodedSize,  // the pictures' size as coded (SizeText); the cell shows it as displayed
};
}  // namespace join_role

// The progress dialog (template 129).
namespace progress_id {
enum : int {
    kStopButton = 1000,
    kFileBar = 1011,
    kJobBar = 1012,
    kCurrentLine = 1018,
    kOverallLine = 1019,
    kCurrentCaption = 1158,
    kOverallCaption = 1159,
};
}  // namespace progress_id

// The cut (template 165) and join (template 167) settings dialogs. Ids without kCut or
// kJoin are the same in both.
namespace settings_id {
enum : int {
    kJoinStartButton = 1,
    kCancelButton = 2,
    kFolderBox = 1003,
    kIndirectRadio = 1007,
    kFrameRateList = 1065,
    kNameBox = 1075,
    kFormatList = 1105,

    kCutDirectRadio = 1189,
    kCutExactRadio = 1300,
    kCutQualityList = 1190,
    kCutSizeList = 1191,
    kCutAudioQualityList = 1192,
    kCutSampleRateList = 1197,
    kCutBrowseButton = 1076,
    kCutStartButton = 1194,
    kCutNote = 1193,
    kCutPlanCaption = 1259,
    kCutFormatCaption = 1260,
    kCutQualityCaption = 1261,
    kCutSizeCaption = 1262,
    kCutFrameRateCaption = 1263,
    kCutAudioQualityCaption = 1264,
    kCutSampleRateCaption = 1265,
    kCutFolderCaption = 1266,
    kCutNameCaption = 1267,

    kJoinDirectRadio = 1256,
    kJoinExactRadio = 1301,
    kJoinQualityList = 1066,
    kJoinSizeList = 1063,
    kJoinAudioQualityList = 1070,
    kJoinSampleRateList = 1067,
    kJoinChannelList = 1068,  // hidden
    kJoinBrowseButton = 1072,
    kJoinNote = 1275,
    kJoinPlanCaption = 1268,
    kJoinFormatCaption = 1269,
    kJoinQualityCaption = 1270,
    kJoinSizeCaption = 1271,
    kJoinFrameRateCaption = 1272,
    kJoinAudioQualityCaption = 1273,
    kJoinSampleRateCaption = 1274,
    kJoinFolderCaption = 1276,
    kJoinNameCaption = 1277,
};
}  // namespace settings_id

}  // namespace ulvane
