#include "app/ViewsSceneManager.h"

const Ogre::String ViewsSceneManager::TypeName = "VelquinViewsSceneManager";
