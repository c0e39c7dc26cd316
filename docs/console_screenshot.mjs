// Takes the README's picture of velquin-console's page: the demo's show sent to a player on a
// virtual display (as scripts/run.sh sends it), the console beside it, and the page in headless
// Chromium with the robot in the inspector and the live picture showing.
//   xvfb-run node docs/console_screenshot.mjs PLAYER_DIR OUTPUT.png
import { join } from 'node:path';
import { Stage, until, sleep } from '../tests/console/support.mjs';

const [output] = process.argv.slice(2);
const stage = new Stage();
try {
  await stage.start({ camera: 'frames@30' });
  for (const file of ['markers/letter-v.pat', 'markers/letter-f.pat', 'samples/robot.zip']) {
    await stage.ctl('upload', file);
  }
  await stage.ctl('send', '-f', 'demo/show.cmd');
  const page = await stage.openPage({ width: 1400, height: 860 });
  await stage.ctl('send', 'project.actors.action("robot", "animation_loop", "Wave");', 'project.actors.action("robot", "play", "");',
    'project.actors.mesh.translate("robot", 0, 0, 10);', 'project.actors.mesh.yaw("robot", 20);',
    'project.actors.light.translate("lamp", 0, 0, 180);');
  await (await page.waitForSelector('#tree [data-actor=robot] .item')).click();
  await page.waitForSelector('#inspector input[name=position0]');
  await until(() => page.evaluate(() => window.velquinConsole.picture.frames > 10), 'the live picture');
  await sleep(500);
  await page.screenshot({ path: output });
} finally {
  await stage.stop();
}
