#pragma once
// The program's pictures, drawn on first use: job-state icons (indexed by job
// state), log-type icons (indexed by log type), toolbar icons, the two logos.
#include <QColor>
#include <QIcon>
#include <QPixmap>

// The side bar's colour: 3342540 as a Windows colour (0x00BBGGRR).
QColor SideBarColour();

QIcon JobStateIcon(int state);
QIcon LogTypeIcon(int type);

enum class TToolPicture {
    Add,
    Edit,
    Delete,
    Start,
    Stop,
    Preferences,
    AutoUpdate,
    Suggestion,
    News
};
QIcon ToolIcon(TToolPicture picture);

QPixmap SmallLogo();         // toolbar, right-aligned
QPixmap BigLogo(int height); // the side bar, 36 pixels wide
QIcon ProgramIcon();
