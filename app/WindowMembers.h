// The published members of the program's two windows, each window's listed
// once: the fields that the form loader binds to the resource's components by
// name, and the handlers that the resource's events name. The window classes
// declare and publish exactly these, and so does anything else that has to
// load the same resources (a stand-in without platform windows, say).
//
// A list is a macro that takes two macros: FIELD(Type, Name) for a field of
// type Type* and HANDLER(Name) for a handler taking the sender. Type is looked
// up where the list is expanded, so the same list names whichever control
// classes are in scope there. The order is the classes' declaration order,
// which is the order they publish in; it is not the order of the resources.
// This header is plain text: it includes nothing and needs no platform.
#pragma once

// clang-format off

// The main window (TForm1).
#define TW_FORM1_MEMBERS(FIELD, HANDLER) \
  FIELD(TGroupBox, GroupBox2)            \
  FIELD(TEdit, NowVideo)                 \
  FIELD(TLabel, Label9)                  \
  FIELD(TLabel, Label10)                 \
  FIELD(TEdit, NextVideo)                \
  FIELD(TLabel, Label12)                 \
  FIELD(TLabel, Label15)                 \
  FIELD(TButton, ReCalc)                 \
  FIELD(TMainMenu, MainMenu1)            \
  FIELD(TMenuItem, File1)                \
  FIELD(TMenuItem, Exit1)                \
  FIELD(TMenuItem, Help1)                \
  FIELD(TMenuItem, About1)               \
  FIELD(TMenuItem, Help2)                \
  FIELD(TMenuItem, Tarnwick1)            \
  FIELD(TMenuItem, h1)                   \
  FIELD(TMenuItem, N1)                   \
  FIELD(TLabel, Label17)                 \
  FIELD(TLabel, Label13)                 \
  FIELD(TComboBox, NextAudio)            \
  FIELD(TGroupBox, GroupBox1)            \
  FIELD(TLabel, Label1)                  \
  FIELD(TLabel, Label3)                  \
  FIELD(TLabel, Label4)                  \
  FIELD(TLabel, Label5)                  \
  FIELD(TLabel, Label7)                  \
  FIELD(TLabel, Label8)                  \
  FIELD(TEdit, Time)                     \
  FIELD(TEdit, NextSize)                 \
  FIELD(TEdit, Video)                    \
  FIELD(TButton, Calc)                   \
  FIELD(TLabel, Label2)                  \
  FIELD(TLabel, Label6)                  \
  FIELD(TComboBox, NowAudio)             \
  FIELD(TLabel, Label11)                 \
  FIELD(TLabel, Label14)                 \
  FIELD(TEdit, NowSize)                  \
  HANDLER(CalcClick)                     \
  HANDLER(ReCalcClick)                   \
  HANDLER(Exit1Click)                    \
  HANDLER(About1Click)                   \
  HANDLER(Help2Click)                    \
  HANDLER(Tarnwick1Click)

// The version window (TForm2).
#define TW_FORM2_MEMBERS(FIELD, HANDLER) \
  FIELD(TButton, Button1)                \
  FIELD(TLabel, Label1)                  \
  FIELD(TLabel, Label2)                  \
  FIELD(TLabel, Label3)                  \
  FIELD(TLabel, Label4)                  \
  HANDLER(Button1Click)

// clang-format on

// The expansions every class of such a list uses. In the class body: the
// fields, unbound until the resource is read, and the handlers' declarations.
#define TW_DECLARE_WINDOW_FIELD(Type, Name) Type* Name = nullptr;
#define TW_DECLARE_WINDOW_HANDLER(Name) void Name(TObject* sender);
// In Publish(Publisher& p): the same members, in the same order.
#define TW_PUBLISH_WINDOW_FIELD(Type, Name) TW_FIELD(Name);
#define TW_PUBLISH_WINDOW_HANDLER(Name) TW_METHOD(Name);
