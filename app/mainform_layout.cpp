// The main window's layout as form text, positions and sizes at 96 pixels per inch. The form
// reader builds the window from it; the write sequence's components are part of it.
#include "app/mainform.h"

namespace app {

const char* const kMainFormText = R"(object MainForm: TMainForm
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'LCD Konfiguration'
  ClientHeight = 131
  ClientWidth = 577
  Color = clBtnFace
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Position = poDesktopCenter
  OnCloseQuery = FormCloseQuery
  PixelsPerInch = 96
  TextHeight = 13
  object GroupBox3: TGroupBox
    Left = 16
    Top = 24
    Width = 353
    Height = 89
    Caption = 'Status'
    Font.Height = -16
    Font.Name = 'Arial'
    Font.Style = []
    ParentFont = False
    TabOrder = 0
    object statusLabel: TLabel
      Left = 16
      Top = 64
      Width = 329
      Height = 18
      AutoSize = False
      Color = clWhite
      Transparent = False
    end
    object ProgressBar: TProgressBar
      Left = 16
      Top = 32
      Width = 233
      Height = 25
      Min = 0
      Max = 100
      Smooth = True
      Step = 1
      TabOrder = 0
    end
    object ResetPanel: TPanel
      Left = 264
      Top = 32
      Width = 73
      Height = 25
      BevelOuter = bvLowered
      Caption = 'Reset'
      Color = clGreen
      Font.Height = -16
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
      TabOrder = 1
    end
  end
  object GroupBox4: TGroupBox
    Left = 384
    Top = 24
    Width = 177
    Height = 89
    Caption = 'Port'
    Font.Height = -16
    Font.Name = 'Arial'
    Font.Style = []
    ParentFont = False
    TabOrder = 1
    object ComboBox: TComboBox
      Left = 16
      Top = 24
      Width = 137
      Height = 26
      Style = csDropDownList
      Font.Height = -16
      Font.Name = 'Arial'
      Font.Style = []
      ItemHeight = 18
      ParentFont = False
      TabStop = False
      OnChange = ComboBoxChange
    end
    object SuchenButton: TButton
      Left = 16
      Top = 56
      Width = 137
      Height = 25
      Caption = 'suchen'
      TabStop = False
      OnClick = SuchenButtonClick
    end
  end
  object ResetComSignal: TComSignal
    ComPort = ComPort
    Signal = siDSR
    Delay = 10
    Control = ResetPanel
    OnSignal = ResetComSignalSignal
  end
  object ComPort: TComPort
    BaudRate = br9600
    DataBits = db8
    Parity = paNone
    StopBits = sb1
    FlowControl.DTR = dcDisable
    FlowControl.RTS = rcDisable
    FlowControl.XOnXOff = xcDisable
    Options = []
    BufferSizes.Input = 64000
    PriorityClass = pcRealTime
    OnError = ComPortError
    OnLineError = ComPortLineError
  end
  object ModeComSignal: TComSignal
    ComPort = ComPort
    Signal = siCTS
    Delay = 10
  end
  object Timer1: TTimer
    Enabled = False
    OnTimer = Timer1Timer
  end
  object Timer2: TTimer
    Enabled = False
    OnTimer = Timer2Timer
  end
  object Timer3: TTimer
    Enabled = False
    OnTimer = Timer3Timer
  end
end
)";

}  // namespace app
