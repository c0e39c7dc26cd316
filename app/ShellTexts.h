#pragma once

// The application shell's own names and texts, in one place.
namespace ShellTexts {
constexpr const char* PluginsFile = "plugins.cfg";
constexpr const char* DisplayFile = "display.cfg";
constexpr const char* LogFile = "log.txt";
constexpr const char* WindowTitle = "Velquinor";
constexpr const char* CoreArchive = "VelquinCore.zip";
constexpr const char* VoidArchive = "void.zip";
constexpr const char* NothingResource = "Nothing";
constexpr const char* BootstrapGroup = "Bootstrap";
constexpr const char* MainSceneManager = "MAIN";
constexpr const char* ViewsSceneManager = "VIEWPORTS";
constexpr const char* MainNode = "MainNode";
constexpr const char* MainCamera = "MainCamera";
constexpr const char* TopCamera = "TopCamera";
constexpr const char* FrontCamera = "FrontCamera";
constexpr const char* LeftCamera = "LeftCamera";
constexpr const char* OmniLight = "Velquin::OMNILIGHT";
constexpr const char* SplashOverlay = "Core/SplashScreenOverlay";
constexpr const char* DebugOverlay = "Core/DebugOverlay";
constexpr const char* StatusOverlay = "Core/StatusOverlay";
constexpr const char* StatusLineElement = "Core/StatusLine";
constexpr const char* GridMaterial = "Core/GridMaterial";
constexpr const char* GridNode = "GridBackgroundSceneNode";
constexpr const char* BackgroundTexture = "BackgroundTexture";
constexpr const char* BackgroundMaterial = "BackgroundMaterial";
constexpr const char* BackgroundNode = "BackgroundSceneNode";
constexpr const char* BackgroundGrid = "Core/VideoBackground";
constexpr const char* GlRenderSystem = "OpenGL Rendering Subsystem";
constexpr const char* NoConfigDialogVariable = "VELQUIN_NO_CONFIG_DIALOG";

constexpr const char* WorkingAt = "Scene: working at ";
constexpr const char* CannotDelete = "Scene: cannot delete ";
constexpr const char* DirectorySuffix = " directory";
constexpr const char* ExceptionCaption = "An exception has occurred!";

// Debug overlay elements and their labels.
constexpr const char* ProjectTitleElement = "Core/ProjectTitle";
// Name prefix of the threads of Mesa's software rasteriser.
constexpr const char* SoftwareRasteriserThreads = "llvmpipe";
constexpr const char* CurrentFpsElement = "Core/CurrFps";
constexpr const char* AverageFpsElement = "Core/AverageFps";
constexpr const char* BestFpsElement = "Core/BestFps";
constexpr const char* WorstFpsElement = "Core/WorstFps";
constexpr const char* TriangleCountElement = "Core/NumTris";
constexpr const char* DebugTextElement = "Core/DebugText";
constexpr const char* TitleLabel = "Title: ";
constexpr const char* CurrentFpsLabel = "Current FPS: ";
constexpr const char* AverageFpsLabel = "Average FPS: ";
constexpr const char* BestFpsLabel = "Best FPS: ";
constexpr const char* WorstFpsLabel = "Worst FPS: ";
constexpr const char* TriangleCountLabel = "Triangle Count: ";
constexpr const char* MillisecondsUnit = " ms";
} // namespace ShellTexts
